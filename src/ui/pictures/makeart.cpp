// Draws the program's pictures and writes them as JPEG files with libjpeg,
// and the program's icon for the desktop (PNG in the icon theme's sizes and
// SVG). The pictures and the icon are committed; run scripts/make-pictures
// after changing this.
//
//   duva-makeart <output folder> [--png]
//   duva-makeart --icon <output folder>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

#include <cmath>
#include <cstdio>
#include <jpeglib.h>

namespace {

// Also writes a PNG beside each JPEG when set (for looking at the pictures).
bool alsoPng = false;

// The device pixel ratio the pictures are drawn for: 1, and 2 and 3 for
// high-density screens (written as name@2x.jpg and name@3x.jpg).
int pixelRatio = 1;

// A picture of `width` x `height` design pixels, drawn at the pixel ratio.
QImage canvas(int width, int height)
{
    QImage img(width * pixelRatio, height * pixelRatio, QImage::Format_RGB32);
    img.setDevicePixelRatio(pixelRatio);
    return img;
}

bool writeJpeg(const QImage &source, const QString &path)
{
    if (alsoPng)
        source.save(QString(path).replace(QLatin1String(".jpg"), QLatin1String(".png")));
    const QImage image = source.convertToFormat(QImage::Format_RGB888);
    FILE *out = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!out)
        return false;
    jpeg_compress_struct info {};
    jpeg_error_mgr err {};
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, out);
    info.image_width = JDIMENSION(image.width());
    info.image_height = JDIMENSION(image.height());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 92, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<uchar *>(image.constScanLine(int(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fclose(out) == 0;
}

const QColor bezel(38, 42, 48);
const QColor face(22, 24, 28);
const QColor red(235, 48, 36);
const QColor green(60, 220, 90);

// A panel controller's front: bezel, two displays, lamps and keys.
void drawController(QPainter &p, const QRectF &r, const QString &pv, const QString &sv)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(90, 96, 104), r.width() / 120));
    p.setBrush(bezel);
    p.drawRoundedRect(r, r.width() / 30, r.width() / 30);
    const QRectF inner =
        r.adjusted(r.width() * 0.06, r.height() * 0.06, -r.width() * 0.06, -r.height() * 0.06);
    p.setBrush(face);
    p.setPen(Qt::NoPen);
    p.drawRoundedRect(inner, r.width() / 60, r.width() / 60);

    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setBold(true);
    font.setPixelSize(int(inner.height() * 0.28));
    p.setFont(font);
    const QRectF pvRect(inner.left(), inner.top() + inner.height() * 0.05, inner.width() * 0.92,
                        inner.height() * 0.32);
    const QRectF svRect(inner.left(), inner.top() + inner.height() * 0.38, inner.width() * 0.92,
                        inner.height() * 0.28);
    p.setPen(red);
    p.drawText(pvRect, Qt::AlignRight | Qt::AlignVCenter, pv);
    font.setPixelSize(int(inner.height() * 0.22));
    p.setFont(font);
    p.setPen(green);
    p.drawText(svRect, Qt::AlignRight | Qt::AlignVCenter, sv);

    // Status lamps down the left edge.
    p.setPen(Qt::NoPen);
    const qreal lamp = inner.height() * 0.06;
    for (int i = 0; i < 4; ++i) {
        p.setBrush(i == 0 ? QColor(250, 170, 40) : QColor(70, 40, 36));
        p.drawEllipse(QPointF(inner.left() + inner.width() * 0.06,
                              inner.top() + inner.height() * (0.12 + i * 0.13)),
                      lamp / 2, lamp / 2);
    }
    // Four keys along the bottom.
    p.setBrush(QColor(120, 126, 134));
    const qreal keyW = inner.width() * 0.17;
    const qreal keyH = inner.height() * 0.16;
    for (int i = 0; i < 4; ++i) {
        const QRectF key(inner.left() + inner.width() * (0.08 + i * 0.23),
                         inner.bottom() - keyH - inner.height() * 0.07, keyW, keyH);
        p.drawRoundedRect(key, keyH / 4, keyH / 4);
    }
    p.restore();
}

QImage mainPicture()
{
    QImage img = canvas(1024, 473);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient sky(0, 0, 0, 473);
    sky.setColorAt(0, QColor(244, 248, 252));
    sky.setColorAt(1, QColor(214, 226, 238));
    p.fillRect(img.rect(), sky);

    // The RS-485 line joining the PC and the controllers.
    p.setPen(QPen(QColor(60, 110, 170), 5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(250, 380, 980, 380);
    for (int i = 0; i < 4; ++i)
        p.drawLine(420 + i * 150, 380, 420 + i * 150, 340);

    // The PC.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(70, 76, 86));
    p.drawRoundedRect(QRectF(40, 150, 200, 140), 8, 8);
    p.setBrush(QColor(40, 90, 150));
    p.drawRect(QRectF(52, 162, 176, 116));
    p.setBrush(QColor(90, 96, 106));
    p.drawRect(QRectF(120, 290, 40, 40));
    p.drawRoundedRect(QRectF(70, 328, 140, 14), 4, 4);
    p.setPen(QPen(QColor(60, 110, 170), 5));
    p.drawLine(160, 335, 250, 380);
    // A little trend on the PC's screen.
    p.setPen(QPen(QColor(120, 230, 140), 3));
    QPainterPath trend(QPointF(60, 260));
    trend.cubicTo(100, 180, 140, 250, 220, 190);
    p.setBrush(Qt::NoBrush);
    p.drawPath(trend);

    // Four controllers on the line.
    const char *pv[] = {"125.0", "250.3", "  80.5", "399.9"};
    const char *sv[] = {"125.0", "250.0", "  80.0", "400.0"};
    for (int i = 0; i < 4; ++i)
        drawController(p, QRectF(360 + i * 150, 220, 120, 120), QString::fromLatin1(pv[i]),
                       QString::fromLatin1(sv[i]));

    // A large front view.
    drawController(p, QRectF(360, 30, 300, 170), QStringLiteral("125.0"), QStringLiteral("120.0"));

    QFont title(QStringLiteral("DejaVu Sans"));
    title.setPixelSize(30);
    title.setBold(true);
    p.setFont(title);
    p.setPen(QColor(30, 50, 90));
    p.drawText(QRectF(690, 60, 320, 80), Qt::AlignLeft | Qt::TextWordWrap,
               QStringLiteral("DUVA Series"));
    title.setPixelSize(18);
    title.setBold(false);
    p.setFont(title);
    p.drawText(QRectF(690, 100, 320, 80), Qt::AlignLeft | Qt::TextWordWrap,
               QStringLiteral("Temperature Controller\nConfiguration Software"));
    return img;
}

QImage aboutBanner()
{
    QImage img = canvas(220, 40);
    QPainter p(&img);
    QLinearGradient g(0, 0, 220, 0);
    g.setColorAt(0, QColor(20, 60, 120));
    g.setColorAt(1, QColor(10, 20, 40));
    p.fillRect(img.rect(), g);
    p.setRenderHint(QPainter::Antialiasing);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(24);
    f.setBold(true);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(12, 0, 120, 40), Qt::AlignVCenter, QStringLiteral("DUVA"));
    drawController(p, QRectF(170, 4, 40, 32), QStringLiteral("25"), QStringLiteral("30"));
    return img;
}

// The toolbar icons, by their index in the image list.
QImage icon(int index)
{
    QImage img = canvas(32, 32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setBold(true);
    switch (index) {
    case 1: // configuration: a controller front
        drawController(p, QRectF(2, 4, 28, 24), QStringLiteral("88"), QStringLiteral("88"));
        break;
    case 3: { // command test: a hex request
        p.setBrush(QColor(30, 40, 60));
        p.setPen(Qt::NoPen);
        p.drawRoundedRect(QRectF(2, 5, 28, 22), 3, 3);
        f.setPixelSize(11);
        p.setFont(f);
        p.setPen(green);
        p.drawText(QRectF(2, 5, 28, 22), Qt::AlignCenter, QStringLiteral(":03"));
        break;
    }
    case 4: { // close: a power symbol
        p.setPen(QPen(QColor(200, 40, 40), 4, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(6, 7, 20, 20), 120 * 16, 300 * 16);
        p.drawLine(16, 4, 16, 15);
        break;
    }
    case 5: { // about: "i" in a circle
        p.setBrush(QColor(40, 100, 190));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QRectF(3, 3, 26, 26));
        f.setPixelSize(20);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(QRectF(3, 3, 26, 26), Qt::AlignCenter, QStringLiteral("i"));
        break;
    }
    case 6: { // protocol: a serial plug
        p.setBrush(QColor(60, 110, 170));
        p.setPen(Qt::NoPen);
        QPolygonF plug;
        plug << QPointF(4, 9) << QPointF(28, 9) << QPointF(24, 23) << QPointF(8, 23);
        p.drawPolygon(plug);
        p.setBrush(Qt::white);
        for (int i = 0; i < 5; ++i)
            p.drawEllipse(QPointF(8 + i * 4, 13), 1.3, 1.3);
        for (int i = 0; i < 4; ++i)
            p.drawEllipse(QPointF(10 + i * 4, 18.5), 1.3, 1.3);
        break;
    }
    case 7: { // recorder: a trend chart
        p.setPen(QPen(QColor(60, 60, 60), 2));
        p.drawLine(4, 4, 4, 28);
        p.drawLine(4, 28, 29, 28);
        p.setPen(QPen(red, 2.5));
        QPainterPath path(QPointF(5, 24));
        path.cubicTo(11, 8, 16, 26, 22, 12);
        path.lineTo(29, 10);
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
        break;
    }
    case 8: { // find controllers: a magnifying glass over a controller
        drawController(p, QRectF(2, 2, 22, 18), QStringLiteral("88"), QStringLiteral("88"));
        p.setBrush(QColor(255, 255, 255, 150));
        p.setPen(QPen(QColor(40, 40, 40), 2.5));
        p.drawEllipse(QRectF(13, 11, 13, 13));
        p.setPen(QPen(QColor(40, 40, 40), 4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(24, 22), QPointF(29.5, 28.5));
        break;
    }
    default: { // spare slots: a plain controller outline
        p.setPen(QPen(bezel, 2));
        p.drawRect(QRectF(5, 5, 22, 22));
        break;
    }
    }
    return img;
}

QImage consolePicture()
{
    QImage img = canvas(217, 196);
    img.fill(QColor(135, 206, 235)); // the console's sky blue
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(30, 40, 60));
    p.setPen(QPen(QColor(90, 96, 104), 3));
    p.drawRoundedRect(QRectF(10, 14, 197, 120), 8, 8);
    QFont f(QStringLiteral("DejaVu Sans Mono"));
    f.setPixelSize(15);
    f.setBold(true);
    p.setFont(f);
    p.setPen(green);
    p.drawText(QRectF(22, 26, 180, 30), Qt::AlignLeft, QStringLiteral(">:010347000001B4"));
    p.setPen(QColor(250, 200, 60));
    p.drawText(QRectF(22, 58, 180, 30), Qt::AlignLeft, QStringLiteral("<:01030200FA00"));
    p.setPen(QColor(160, 170, 190));
    p.drawText(QRectF(22, 90, 180, 30), Qt::AlignLeft, QStringLiteral(">_"));
    drawController(p, QRectF(64, 142, 90, 50), QStringLiteral("25.0"), QStringLiteral("25.0"));
    return img;
}

// A controller front of the given class on the 208 x 148 picture: the
// panel's shape follows the model's front size (48 x 24, 48 x 48, 48 x 96,
// 96 x 96 millimetres). The displays are left dark: the program draws the
// values over them, and its lamps where its panel layout puts them, so the
// keys lie in a band clear of both (above the displays on the low front,
// between the displays and the lamps on the others). Class 0 is the front
// shown for a model the program does not know: the 48 x 48 shape, whose
// layout the program gives it, without a maker's name (the program writes
// the model code there).
QImage modelFront(int modelClass)
{
    struct Shape
    {
        QRectF front;
        qreal keysTop;
    };
    static const Shape shapes[] = {
        {QRectF(16, 4, 176, 140), 114}, // unknown: square
        {QRectF(4, 40, 200, 70), 45}, // wide and low
        {QRectF(16, 4, 176, 140), 114}, // square
        {QRectF(44, 2, 120, 144), 94}, // tall
        {QRectF(2, 2, 204, 144), 121}, // large square
    };
    const Shape &shape = shapes[modelClass >= 1 && modelClass <= 4 ? modelClass : 0];
    const QRectF r = shape.front;

    QImage img = canvas(208, 148);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(90, 96, 104), 2));
    p.setBrush(bezel);
    p.drawRoundedRect(r, 6, 6);
    p.setPen(Qt::NoPen);
    p.setBrush(face);
    p.drawRoundedRect(r.adjusted(5, 5, -5, -5), 4, 4);
    p.setBrush(QColor(110, 116, 124));
    const qreal keyW = r.width() / 9;
    for (int i = 0; i < 3; ++i)
        p.drawRoundedRect(QRectF(r.right() - 12 - (i + 1) * (keyW + 4), shape.keysTop, keyW, 8), 2,
                          2);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(9);
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(150, 156, 166));
    if (&shape != &shapes[0])
        p.drawText(QRectF(r.left() + 8, r.top() + 6, 60, 12), Qt::AlignLeft,
                   QStringLiteral("DUVA"));
    return img;
}

// The monitor's idle picture: four controllers waiting for a connection.
QImage monitorIdle()
{
    QImage img = canvas(1000, 180);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const char *pv[] = {"----", "----", "----", "----"};
    for (int i = 0; i < 4; ++i)
        drawController(p, QRectF(40 + i * 245, 12, 180, 150), QString::fromLatin1(pv[i]),
                       QStringLiteral("----"));
    return img;
}

// The small pictures at the right end of the setup view's rows: 18 x 18
// design pixels on white, flat, with a margin of one to two pixels so that
// neighbouring rows do not run together.
const QColor ink(60, 66, 76);
const QColor steel(128, 138, 152);
const QColor flameRed(226, 62, 32);
const QColor flameYellow(252, 196, 60);
const QColor iceBlue(40, 120, 210);
const QColor amber(240, 172, 30);
const QColor runGreen(46, 170, 72);
const QColor stopRed(218, 48, 40);

QPen roundPen(const QColor &color, qreal width)
{
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A filled arrow head with its tip at `tip`, pointing along (dx, dy).
void drawArrowHead(QPainter &p, const QPointF &tip, qreal dx, qreal dy, qreal length,
                   qreal halfWidth)
{
    const QPointF back = tip - QPointF(dx, dy) * length;
    const QPointF side(-dy * halfWidth, dx * halfWidth);
    p.drawPolygon(QPolygonF() << tip << back + side << back - side);
}

// Input: a thermometer with its scale.
void drawRowInput(QPainter &p)
{
    QPainterPath glass;
    glass.addRoundedRect(QRectF(6.6, 1.5, 4.8, 12), 2.4, 2.4);
    QPainterPath bulb;
    bulb.addEllipse(QPointF(9, 13.2), 3.3, 3.3);
    p.setPen(QPen(ink, 1.2));
    p.setBrush(Qt::white);
    p.drawPath(glass.united(bulb));
    p.setPen(Qt::NoPen);
    p.setBrush(flameRed);
    p.drawEllipse(QPointF(9, 13.2), 2.1, 2.1);
    p.drawRoundedRect(QRectF(8.1, 6, 1.8, 7.5), 0.9, 0.9);
    p.setPen(roundPen(ink, 1));
    for (const qreal y : {3.5, 6.5, 9.5})
        p.drawLine(QPointF(13, y), QPointF(15, y));
}

// Range: a double arrow between a high and a low bar.
void drawRowRange(QPainter &p)
{
    p.setPen(roundPen(ink, 2));
    p.drawLine(QPointF(4, 2), QPointF(14, 2));
    p.drawLine(QPointF(4, 16), QPointF(14, 16));
    p.setPen(QPen(iceBlue, 2));
    p.drawLine(QPointF(9, 6.5), QPointF(9, 11.5));
    p.setPen(Qt::NoPen);
    p.setBrush(iceBlue);
    drawArrowHead(p, QPointF(9, 4.2), 0, -1, 3.4, 3);
    drawArrowHead(p, QPointF(9, 13.8), 0, 1, 3.4, 3);
}

// Offset: a plus-minus sign over a shift to the right.
void drawRowOffset(QPainter &p)
{
    p.setPen(roundPen(ink, 2));
    p.drawLine(QPointF(6, 5), QPointF(12, 5));
    p.drawLine(QPointF(9, 2), QPointF(9, 8));
    p.drawLine(QPointF(6, 10), QPointF(12, 10));
    p.setPen(roundPen(iceBlue, 2));
    p.drawLine(QPointF(2.5, 14), QPointF(12.5, 14));
    p.setPen(Qt::NoPen);
    p.setBrush(iceBlue);
    drawArrowHead(p, QPointF(16.2, 14), 1, 0, 4, 2.6);
}

// Control: a knob turned part way along its scale.
void drawRowControl(QPainter &p)
{
    const QPointF centre(9, 9.6);
    const QRectF scale(centre - QPointF(7, 7), QSizeF(14, 14));
    p.setBrush(Qt::NoBrush);
    p.setPen(roundPen(QColor(200, 206, 214), 1.4));
    p.drawArc(scale, 45 * 16, -90 * 16);
    p.setPen(roundPen(amber, 1.4));
    p.drawArc(scale, 225 * 16, -180 * 16);
    p.setPen(QPen(ink, 1));
    p.setBrush(QColor(86, 94, 108));
    p.drawEllipse(centre, 4.6, 4.6);
    const qreal a = qDegreesToRadians(45.0);
    const QPointF dir(std::cos(a), -std::sin(a));
    p.setPen(roundPen(amber, 1.8));
    p.drawLine(centre + dir * 0.6, centre + dir * 3.2);
}

// Heating: a flame.
void drawRowHeat(QPainter &p)
{
    QPainterPath outer(QPointF(9.6, 1.4));
    outer.cubicTo(10.4, 4.6, 14.8, 6.8, 14.8, 11.2);
    outer.cubicTo(14.8, 14.4, 12.2, 16.6, 9, 16.6);
    outer.cubicTo(5.8, 16.6, 3.2, 14.4, 3.2, 11.4);
    outer.cubicTo(3.2, 9, 4.4, 7.6, 5.6, 6.4);
    outer.cubicTo(5.8, 8, 6.4, 9, 7.2, 9.4);
    outer.cubicTo(7, 6, 8.4, 3.6, 9.6, 1.4);
    p.setPen(Qt::NoPen);
    p.setBrush(flameRed);
    p.drawPath(outer);
    QPainterPath inner(QPointF(9.2, 7.6));
    inner.cubicTo(10, 9.8, 12.2, 10.8, 12.2, 13.2);
    inner.cubicTo(12.2, 15, 10.8, 16, 9, 16);
    inner.cubicTo(7.2, 16, 5.8, 15, 5.8, 13.4);
    inner.cubicTo(5.8, 11.2, 8.4, 10.2, 9.2, 7.6);
    p.setBrush(flameYellow);
    p.drawPath(inner);
}

// Cooling: a snowflake.
void drawRowCool(QPainter &p)
{
    const QPointF centre(9, 9);
    p.setPen(roundPen(iceBlue, 1.5));
    for (int i = 0; i < 6; ++i) {
        const qreal a = qDegreesToRadians(90.0 + i * 60.0);
        const QPointF dir(std::cos(a), -std::sin(a));
        const QPointF tip = centre + dir * 7.2;
        p.drawLine(centre, tip);
        // The small V on each arm.
        const QPointF fork = centre + dir * 4.4;
        for (const qreal turn : {-50.0, 50.0}) {
            const qreal b = a + qDegreesToRadians(turn);
            p.drawLine(fork, fork + QPointF(std::cos(b), -std::sin(b)) * 2.3);
        }
    }
}

// PID: a step response settling on the set value.
void drawRowPid(QPainter &p)
{
    p.setPen(QPen(QColor(150, 160, 172), 1, Qt::DashLine));
    p.drawLine(QPointF(3.5, 6.5), QPointF(16.5, 6.5));
    p.setPen(QPen(ink, 1, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    p.drawPolyline(QPolygonF() << QPointF(2.5, 1.5) << QPointF(2.5, 15.5) << QPointF(16.5, 15.5));
    QPainterPath response(QPointF(2.8, 15));
    response.cubicTo(4.6, 15, 5, 3.6, 7.4, 3.6);
    response.cubicTo(9.6, 3.6, 10, 7.6, 12, 7.2);
    response.cubicTo(13.6, 6.9, 14.6, 6.5, 16.5, 6.5);
    p.setPen(roundPen(flameRed, 1.6));
    p.setBrush(Qt::NoBrush);
    p.drawPath(response);
}

// Set value: a target.
void drawRowSv(QPainter &p)
{
    const QPointF centre(9, 9);
    p.setPen(Qt::NoPen);
    p.setBrush(stopRed);
    p.drawEllipse(centre, 7.5, 7.5);
    p.setBrush(Qt::white);
    p.drawEllipse(centre, 5.5, 5.5);
    p.setBrush(stopRed);
    p.drawEllipse(centre, 3.5, 3.5);
    p.setBrush(Qt::white);
    p.drawEllipse(centre, 1.5, 1.5);
}

// Alarm: a bell.
void drawRowAlarm(QPainter &p)
{
    const QColor edge(176, 112, 10);
    p.setPen(QPen(edge, 1));
    p.setBrush(amber);
    p.drawEllipse(QPointF(9, 14.6), 1.9, 1.9); // the clapper, under the bell
    QPainterPath bell(QPointF(2.6, 13.4));
    bell.cubicTo(4.2, 12, 4.4, 10.6, 4.4, 8.6);
    bell.cubicTo(4.4, 5.4, 6.4, 3.2, 9, 3.2);
    bell.cubicTo(11.6, 3.2, 13.6, 5.4, 13.6, 8.6);
    bell.cubicTo(13.6, 10.6, 13.8, 12, 15.4, 13.4);
    bell.closeSubpath();
    p.setPen(QPen(edge, 1, Qt::SolidLine, Qt::SquareCap, Qt::RoundJoin));
    p.drawPath(bell);
    p.drawEllipse(QPointF(9, 2.4), 1.1, 1.1);
}

// Lock: a padlock.
void drawRowLock(QPainter &p)
{
    p.setPen(QPen(steel, 1.9));
    p.setBrush(Qt::NoBrush);
    QPainterPath shackle(QPointF(5.6, 8.5));
    shackle.lineTo(5.6, 5.6);
    shackle.arcTo(QRectF(5.6, 2.2, 6.8, 6.8), 180, -180);
    shackle.lineTo(12.4, 8.5);
    p.drawPath(shackle);
    p.setPen(QPen(QColor(176, 112, 10), 1));
    p.setBrush(amber);
    p.drawRoundedRect(QRectF(3.5, 8.2, 11, 8.3), 1.6, 1.6);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawEllipse(QPointF(9, 11.4), 1.4, 1.4);
    p.drawRoundedRect(QRectF(8.35, 11.4, 1.3, 3.2), 0.5, 0.5);
}

// Run and stop: a play triangle beside a stop square.
void drawRowRun(QPainter &p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(runGreen);
    p.drawPolygon(QPolygonF() << QPointF(2, 4) << QPointF(2, 14) << QPointF(9, 9));
    p.setBrush(stopRed);
    p.drawRoundedRect(QRectF(10, 6, 6, 6), 0.8, 0.8);
}

// Auto-tuning: a dying oscillation and a check mark.
void drawRowTune(QPainter &p)
{
    QPainterPath wave(QPointF(1.8, 6.5));
    for (int i = 1; i <= 60; ++i) {
        const qreal t = i / 60.0;
        const qreal y = 6.5 - 4.6 * std::exp(-2.6 * t) * std::sin(t * 3 * 2 * M_PI);
        wave.lineTo(1.8 + t * 14.4, y);
    }
    p.setPen(roundPen(iceBlue, 1.4));
    p.setBrush(Qt::NoBrush);
    p.drawPath(wave);
    p.setPen(roundPen(runGreen, 2));
    p.drawPolyline(QPolygonF() << QPointF(8.6, 13.2) << QPointF(11, 15.6) << QPointF(15.8, 10.6));
}

// Output: a level meter, partly lit.
void drawRowOutput(QPainter &p)
{
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 5; ++i) {
        const qreal top = 10 - i * 2;
        p.setBrush(i < 3 ? runGreen : QColor(208, 214, 222));
        p.drawRect(QRectF(2 + i * 3, top, 2, 14 - top));
    }
    p.setBrush(ink);
    p.drawRect(QRectF(2, 15, 14, 1));
}

// Factory adjustment: a wrench.
void drawRowFactory(QPainter &p)
{
    QPainterPath handle;
    handle.addRoundedRect(QRectF(-7.6, -1.5, 11, 3), 1.5, 1.5);
    QPainterPath head;
    head.addEllipse(QPointF(4.2, 0), 3.5, 3.5);
    QPainterPath jaw;
    jaw.addRect(QRectF(4.2, -1.35, 5, 2.7));
    jaw.addEllipse(QPointF(4.2, 0), 1.35, 1.35);
    const QPainterPath wrench = handle.united(head).subtracted(jaw);
    p.translate(9, 9);
    p.rotate(-45);
    p.scale(1.1, 1.1);
    p.setPen(QPen(QColor(78, 86, 100), 0.9, Qt::SolidLine, Qt::SquareCap, Qt::RoundJoin));
    p.setBrush(steel);
    p.drawPath(wrench);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(-5.8, 0), 0.75, 0.75);
}

// A row picture drawn by `draw`.
QImage rowPicture(void (*draw)(QPainter &))
{
    QImage img = canvas(18, 18);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
    return img;
}

const struct
{
    const char *name;
    void (*draw)(QPainter &);
} rowPictures[] = {
    {"rowinput", drawRowInput},     {"rowrange", drawRowRange},     {"rowoffset", drawRowOffset},
    {"rowcontrol", drawRowControl}, {"rowheat", drawRowHeat},       {"rowcool", drawRowCool},
    {"rowpid", drawRowPid},         {"rowsv", drawRowSv},           {"rowalarm", drawRowAlarm},
    {"rowlock", drawRowLock},       {"rowrun", drawRowRun},         {"rowtune", drawRowTune},
    {"rowoutput", drawRowOutput},   {"rowfactory", drawRowFactory},
};

// The program's icon: a controller's front seen head-on, its process value
// in red over its set value in green. One list of shapes on a 64 x 64 grid
// gives both the PNG of each size and the scalable SVG.
struct IconShape
{
    QRectF rect;
    qreal radius; // corner radius; half the width for a round lamp
    QColor fill;
    QColor stroke; // invalid: no outline
    qreal strokeWidth;
};

// The lit segments of a seven-segment digit (a to g, bit 0 is a).
constexpr unsigned char digitSegments[] = {0x3F, 0x06, 0x5B, 0x4F, 0x66,
                                           0x6D, 0x7D, 0x07, 0x7F, 0x6F};

void addDigits(QList<IconShape> &shapes, const char *digits, qreal x, qreal y, qreal w, qreal h,
               qreal t, const QColor &colour)
{
    for (const char *d = digits; *d; ++d, x += w + t) {
        const unsigned bits = digitSegments[*d - '0'];
        const qreal half = h / 2 - t / 2;
        const QRectF segments[] = {
            {x, y, w, t},         {x + w - t, y, t, half + t}, {x + w - t, y + half, t, half + t},
            {x, y + h - t, w, t}, {x, y + half, t, half + t},  {x, y, t, half + t},
            {x, y + half, w, t},
        };
        for (int i = 0; i < 7; ++i)
            if (bits & (1u << i))
                shapes.append({segments[i], 0, colour, QColor(), 0});
    }
}

QList<IconShape> iconShapes()
{
    QList<IconShape> shapes = {
        {{5, 5, 54, 54}, 9, bezel, QColor(90, 96, 104), 2},
        {{10, 10, 44, 44}, 4, face, QColor(), 0},
    };
    addDigits(shapes, "125", 15, 14, 9, 17, 3, red);
    addDigits(shapes, "120", 26, 35, 6, 10, 2, green);
    shapes.append({{14, 37.5, 5, 5}, 2.5, QColor(250, 170, 40), QColor(), 0});
    for (int i = 0; i < 4; ++i)
        shapes.append({{15.0 + i * 9, 48, 7, 3}, 1, QColor(120, 126, 134), QColor(), 0});
    return shapes;
}

QImage appIcon(int size)
{
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    for (const IconShape &s : iconShapes()) {
        p.setPen(s.stroke.isValid() ? QPen(s.stroke, s.strokeWidth) : QPen(Qt::NoPen));
        p.setBrush(s.fill);
        p.drawRoundedRect(s.rect, s.radius, s.radius);
    }
    return img;
}

QByteArray appIconSvg()
{
    QByteArray svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"64\" "
                     "viewBox=\"0 0 64 64\">\n";
    for (const IconShape &s : iconShapes()) {
        svg += QStringLiteral("  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\"")
                   .arg(s.rect.x())
                   .arg(s.rect.y())
                   .arg(s.rect.width())
                   .arg(s.rect.height())
                   .toLatin1();
        if (s.radius > 0)
            svg += QStringLiteral(" rx=\"%1\"").arg(s.radius).toLatin1();
        svg += " fill=\"" + s.fill.name().toLatin1() + '"';
        if (s.stroke.isValid())
            svg += QStringLiteral(" stroke=\"%1\" stroke-width=\"%2\"")
                       .arg(s.stroke.name())
                       .arg(s.strokeWidth)
                       .toLatin1();
        svg += "/>\n";
    }
    return svg + "</svg>\n";
}

// The icon in the sizes the desktops look for, as icon-SIZE.png, and icon.svg.
bool writeAppIcon(const QDir &dir)
{
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256})
        if (!appIcon(size).save(dir.filePath(QStringLiteral("icon-%1.png").arg(size))))
            return false;
    QFile svg(dir.filePath(QStringLiteral("icon.svg")));
    return svg.open(QIODevice::WriteOnly) && svg.write(appIconSvg()) > 0 && svg.flush();
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--icon") {
        if (writeAppIcon(QDir(QString::fromLocal8Bit(argv[2]))))
            return 0;
        std::fprintf(stderr, "duva-makeart: cannot write the icon\n");
        return 1;
    }
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: duva-makeart <output folder> [--png]\n"
                     "       duva-makeart --icon <output folder>\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    alsoPng = argc > 2 && QByteArray(argv[2]) == "--png";
    bool ok = true;
    for (const int ratio : {1, 2, 3}) {
        pixelRatio = ratio;
        const QString suffix = ratio == 1 ? QString() : QStringLiteral("@%1x").arg(ratio);
        auto write = [&](const QImage &image, const QString &name) {
            return writeJpeg(image, dir.filePath(name + suffix + QStringLiteral(".jpg")));
        };
        ok = ok && write(mainPicture(), "main") && write(aboutBanner(), "about") &&
            write(consolePicture(), "console");
        ok = ok && write(modelFront(1), "model4824") && write(modelFront(2), "model4848") &&
            write(modelFront(3), "model4896") && write(modelFront(4), "model9696") &&
            write(modelFront(0), "modelunknown") && write(monitorIdle(), "monitoridle");
        for (int i = 0; i < 9; ++i)
            ok = ok && write(icon(i), QStringLiteral("icon%1").arg(i));
        for (const auto &row : rowPictures)
            ok = ok && write(rowPicture(row.draw), QString::fromLatin1(row.name));
    }
    if (!ok) {
        std::fprintf(stderr, "duva-makeart: cannot write the pictures\n");
        return 1;
    }
    return 0;
}
