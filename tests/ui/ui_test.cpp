#include "duvaerror.h"
#include "guardedapplication.h"
#include "jpegloader.h"
#include "lamp.h"
#include "screenscale.h"
#include "scripteddialogs.h"

#include <QFile>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QByteArray resource(const char *name)
{
    QFile f(QStringLiteral(":/pictures/%1.jpg").arg(QLatin1String(name)));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(JpegLoader, ThePicturesDecodeAtTheirDesignSizes)
{
    const struct
    {
        const char *name;
        QSize size;
    } pictures[] = {
        {"main", {1024, 473}}, {"about", {220, 40}}, {"console", {217, 196}},
        {"icon1", {32, 32}},   {"icon3", {32, 32}},  {"icon4", {32, 32}},
        {"icon5", {32, 32}},   {"icon6", {32, 32}},  {"icon7", {32, 32}},
    };
    for (const auto &p : pictures) {
        QString error;
        const QImage image = LoadJpeg(resource(p.name), &error);
        EXPECT_EQ(image.size(), p.size) << p.name << " " << error.toStdString();
        EXPECT_EQ(Picture(QString::fromLatin1(p.name)).size(), p.size) << p.name;
    }
}

TEST(JpegLoader, BrokenPicturesAreRefusedNotShownHalfGrey)
{
    const QByteArray good = resource("main");
    ASSERT_FALSE(good.isEmpty());
    const QByteArray cases[] = {
        good.left(good.size() / 2), // truncated: libjpeg only warns and fills with grey
        good.left(300),
        QByteArray("not a picture at all"),
        QByteArray(),
        QByteArray::fromHex("FFD8FFD9"),
    };
    for (const QByteArray &data : cases) {
        QString error;
        EXPECT_TRUE(LoadJpeg(data, &error).isNull()) << data.size();
        EXPECT_FALSE(error.isEmpty()) << data.size();
    }
    EXPECT_TRUE(Picture(QStringLiteral("no-such-picture")).isNull());
}

TEST(ScreenScale, IntegerScalingByTheScreenWidth)
{
    SetScreenWidthOverride(1280);
    FixScreenWidth(nullptr);
    EXPECT_EQ(ScreenWidth(), 1280);
    EXPECT_EQ(Scaled(15), 18); // 1280 * 15 / 1024 = 18.75, truncated
    EXPECT_EQ(Scaled(1024), 1280);
    SetScreenWidthOverride(800);
    FixScreenWidth(nullptr);
    EXPECT_EQ(Scaled(481), 375);
    SetScreenWidthOverride(0);
}

TEST(GuardedDispatch, AnEscapedExceptionEndsInAnErrorBoxAndTheProgramGoesOn)
{
    ScriptedDialogs dialogs;
    EXPECT_FALSE(DeliverGuarded([]() -> bool { throw DuvaError("ie_NOpen - device not open"); }));
    EXPECT_FALSE(DeliverGuarded([]() -> bool { throw std::runtime_error("plain"); }));
    EXPECT_FALSE(DeliverGuarded([]() -> bool { throw 42; }));
    EXPECT_TRUE(DeliverGuarded([] { return true; }));
    // The boxes are posted, never opened inside the failing handler.
    EXPECT_TRUE(dialogs.shown.isEmpty());
    QTest::qWait(10);
    EXPECT_EQ(dialogs.texts("error"),
              (QStringList {"ie_NOpen - device not open", "plain", "Unknown error"}));
}

// Counts the paint events of the widgets it watches.
class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

TEST(Lamp, PaintsItsColourAndRepaintsOnlyWhenItChanges)
{
    Lamp lamp;
    lamp.resize(16, 16);
    lamp.setColor(QColor(0, 255, 0));
    const QImage image = lamp.grab().toImage();
    EXPECT_EQ(image.pixel(8, 8), 0xff00ff00u);
    EXPECT_EQ(image.pixel(3, 8), 0xff00ff00u);
    EXPECT_NE(image.pixel(1, 1), 0xff00ff00u); // outside the circle

    lamp.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&lamp));
    QTest::qWait(20);
    PaintCounter counter;
    lamp.installEventFilter(&counter);
    for (int i = 0; i < 5; ++i)
        lamp.setColor(QColor(0, 255, 0));
    QTest::qWait(50);
    EXPECT_EQ(counter.paints, 0);
    lamp.setColor(QColor(255, 0, 0));
    EXPECT_TRUE(QTest::qWaitFor([&] { return counter.paints > 0; }, 2000));
    EXPECT_EQ(counter.paints, 1);
    EXPECT_EQ(lamp.color(), QColor(255, 0, 0));
}

} // namespace
