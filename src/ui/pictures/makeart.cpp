// Draws the program's pictures and writes them as JPEG files with libjpeg.
// The pictures are committed; run scripts/make-pictures after changing this.
//
//   duva-makeart <output folder> [--png]
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

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
    p.drawText(QRectF(22, 58, 180, 30), Qt::AlignLeft, QStringLiteral("<:01030200FAF7"));
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

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: duva-makeart <output folder>\n");
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
        for (int i = 0; i < 8; ++i)
            ok = ok && write(icon(i), QStringLiteral("icon%1").arg(i));
    }
    if (!ok) {
        std::fprintf(stderr, "duva-makeart: cannot write the pictures\n");
        return 1;
    }
    return 0;
}
