// The recorder window offscreen against the simulator: its controls drive
// the acquisition and show what it does.
#include "app/comsettings.h"
#include "recorder/acquisition.h"
#include "recorder/recorderform.h"
#include "recorder/recordviewer.h"
#include "recorder/trendchart.h"
#include "scripteddialogs.h"
#include "simoncom1.h"
#include "ui/screenscale.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

TEST(RecorderWindow, RecordsShowsAndStops)
{
    ScriptedDialogs dialogs;
    ComSettings settings;
    SimOnCom1 sim(MatchingLine(ModbusMode::Ascii, settings), {{1, 0x4848}, {2, 0x4824}});
    ASSERT_TRUE(sim.ok());
    RecorderForm form(nullptr, [&] { return settings.lineSettings(); });
    form.showWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.isVisible(); }, 2000));
    EXPECT_EQ(form.DrawIme->size(), QSize(990, 470) * ScreenWidth() / 1024);
    form.device(1).comAddr->setValue(2);
    QTest::mouseClick(form.StartBt, Qt::LeftButton);
    ASSERT_TRUE(form.acquisition().recording());
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.StartBt->text() == "STOP"; }, 2000));
    EXPECT_FALSE(form.SampleTime->isEnabled());
    EXPECT_FALSE(form.ComAddrPL->isEnabled());
    for (int scan = 0; scan < 3; ++scan) {
        form.acquisition().Timer1Timer();
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return form.acquisition().scanCounter() == scan + 1; }, 5000));
    }
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form.device(1).value->text().isEmpty(); }, 2000));
    EXPECT_TRUE(form.device(0).value->text().contains('.'));
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.LoopCnt->text() == " 00000003"; }, 2000));
    // Device 2's panel switches its trace off: its address box turns silver.
    QTest::mouseClick(form.device(1).panel, Qt::LeftButton);
    EXPECT_FALSE(form.data().device[1].shown);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return form.device(1).comAddr->styleSheet().contains("#c0c0c0"); }, 2000));
    // A panel without an address ignores the click.
    QTest::mouseClick(form.device(5).panel, Qt::LeftButton);
    EXPECT_FALSE(form.data().device[5].shown);
    QTest::mouseClick(form.StartBt, Qt::LeftButton);
    EXPECT_FALSE(form.acquisition().recording());
    EXPECT_FALSE(form.holdsPort());
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.StartBt->text() == "START"; }, 2000));
    EXPECT_TRUE(form.SampleTime->isEnabled());
    EXPECT_TRUE(dialogs.shown.isEmpty());
}

TEST(RecorderWindow, BadManualLimitsAreRefusedWhenEntered)
{
    ScriptedDialogs dialogs;
    RecorderForm form(nullptr);
    form.show();
    form.DisplayMd->setCurrentIndex(1);
    emit form.DisplayMd->activated(1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.MaxScale->isEnabled(); }, 2000));
    form.MaxScale->setText("50");
    form.MinScale->setText("80");
    emit form.MinScale->editingFinished();
    ASSERT_EQ(dialogs.texts("inform").size(), 1);
    EXPECT_EQ(form.chart().manualMax(), 100);
    EXPECT_EQ(form.chart().manualMin(), 0);
    EXPECT_EQ(form.MaxScale->text(), "100");
}

TEST(RecorderWindow, AFileOpenedAgainStartsAtItsBeginningAndClosingLetsItGo)
{
    ScriptedDialogs dialogs;
    ComSettings settings;
    QTemporaryDir dir;
    RecorderForm form(nullptr, [&] { return settings.lineSettings(); });
    form.showWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.isVisible(); }, 2000));
    // A recording of device 1 at address 1, longer than the chart is wide.
    QByteArray bytes = "01  00  00  00  00  00  00  00  00  00  01\r\n";
    for (int r = 0; r < form.data().width() + 20; ++r)
        bytes += "00 250    " + QByteArray("2:05:09 PM").rightJustified(14, ' ') +
            QByteArray("12/9/2026").rightJustified(12, ' ') + "\r\n";
    bytes += "End\r\n";
    QFile f(dir.filePath("rec.txt"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();

    dialogs.fileAnswers << f.fileName();
    QTest::mouseClick(form.OpenBt, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.TrackBar->isVisible(); }, 2000));
    form.TrackBar->setValue(15);
    EXPECT_EQ(form.viewer().view().trackPos, 15);
    dialogs.fileAnswers << f.fileName();
    QTest::mouseClick(form.OpenBt, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.TrackBar->value() == 0; }, 2000));
    EXPECT_EQ(form.viewer().view().trackPos, 0);

    form.close();
    form.showWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.isVisible(); }, 2000));
    EXPECT_FALSE(form.viewer().view().viewing);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form.TrackBar->isVisible(); }, 2000));
    EXPECT_FALSE(form.ExportBt->isEnabled());
}

} // namespace
