#include "duvaerror.h"
#include "guardedapplication.h"
#include "jpegloader.h"
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

} // namespace
