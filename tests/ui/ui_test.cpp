#include "link/duvaerror.h"
#include "scripteddialogs.h"
#include "ui/qtdialogs.h"
#include "ui/guardedapplication.h"
#include "ui/jpegloader.h"
#include "ui/lamp.h"
#include "ui/screenscale.h"
#include "ui/windowplacement.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
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
        // Drawn again for high-density screens: twice and three times the
        // pixels, the same size on screen.
        for (const int ratio : {2, 3}) {
            const QImage sharp = Picture(QString::fromLatin1(p.name), ratio);
            EXPECT_EQ(sharp.size(), p.size * ratio) << p.name << " @" << ratio;
            EXPECT_EQ(sharp.deviceIndependentSize().toSize(), p.size) << p.name;
        }
    }
    EXPECT_EQ(Picture(QStringLiteral("model9696"), 1.25).size(), QSize(208, 148));
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

TEST(ScreenScale, TheFactorFitsTheDesignToTheScreenBothWays)
{
    const struct
    {
        int width, height, factor, scaled15;
    } screens[] = {
        {1024, 768, 1024, 15},  {1280, 800, 1066, 15},  {1366, 768, 1024, 15},
        {1920, 1080, 1440, 21}, {3840, 2160, 2880, 42},
    };
    for (const auto &s : screens) {
        SetScreenSizeOverride(s.width, s.height);
        FixScreenWidth(nullptr);
        EXPECT_EQ(ScreenWidth(), s.factor) << s.width << "x" << s.height;
        EXPECT_EQ(Scaled(15), s.scaled15) << s.width << "x" << s.height; // truncated
        EXPECT_EQ(ScreenArea(nullptr), QRect(0, 0, s.width, s.height));
    }
    SetScreenSizeOverride(0, 0);
    FixScreenWidth(nullptr);
}

TEST(ScreenScale, AWindowIsKeptOnTheScreenTitleBarFirst)
{
    const QRect screen(0, 0, 1366, 768);
    EXPECT_EQ(KeptOnScreen(QRect(100, 50, 400, 300), screen), QPoint(100, 50));
    EXPECT_EQ(KeptOnScreen(QRect(-120, -90, 400, 300), screen), QPoint(0, 0));
    EXPECT_EQ(KeptOnScreen(QRect(1200, 600, 400, 300), screen), QPoint(966, 468));
    // Taller than the screen: the title bar stays at the top.
    EXPECT_EQ(KeptOnScreen(QRect(10, 200, 400, 900), screen), QPoint(10, 0));
    EXPECT_EQ(KeptOnScreen(QRect(10, 10, 100, 100), QRect(0, 30, 1366, 738)), QPoint(10, 30));
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

// The message boxes on screen now.
QList<QMessageBox *> visibleBoxes()
{
    QList<QMessageBox *> boxes;
    for (QWidget *window : QApplication::topLevelWidgets())
        if (auto *box = qobject_cast<QMessageBox *>(window); box && box->isVisible())
            boxes.append(box);
    return boxes;
}

void clickOkOnEveryBox()
{
    for (QMessageBox *box : visibleBoxes())
        box->button(QMessageBox::Ok)->click();
}

TEST(QtMessageBoxes, ARepeatedMessageIsNotStackedOnItsOpenBox)
{
    QtDialogs dialogs;
    qsizetype boxesWithRepeat = -1;
    qsizetype boxesWithOther = -1;
    bool done = false;
    // Each box runs a nested event loop, inside which the next timer fires.
    QTimer::singleShot(0, [&] {
        dialogs.inform("Warning", "Com port not exist");
        done = true;
    });
    QTimer::singleShot(50, [&] { dialogs.inform("Warning", "Com port not exist"); });
    QTimer::singleShot(100, [&] {
        boxesWithRepeat = visibleBoxes().size();
        dialogs.inform("Warning", "Another text");
    });
    QTimer::singleShot(150, [&] {
        boxesWithOther = visibleBoxes().size();
        clickOkOnEveryBox();
    });
    const bool finished = QTest::qWaitFor([&] { return done; }, 10000);
    clickOkOnEveryBox(); // whatever went wrong, leave no box behind
    ASSERT_TRUE(finished);
    EXPECT_EQ(boxesWithRepeat, 1);
    EXPECT_EQ(boxesWithOther, 2);

    // Once closed, the same message opens its box again.
    qsizetype boxesAgain = -1;
    QTimer::singleShot(0, [&] {
        boxesAgain = visibleBoxes().size();
        clickOkOnEveryBox();
    });
    dialogs.inform("Warning", "Com port not exist");
    EXPECT_EQ(boxesAgain, 1);
}

} // namespace
