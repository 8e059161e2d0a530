// The trend chart of the configuration window against the simulator: DrawBt
// switches view and chart, the history follows the controller's process
// value and is cleared with its slot.
#include "app/comsettings.h"
#include "monitor/monitorengine.h"
#include "monitor/monitorform.h"
#include "monitor/pvtrend.h"
#include "scripteddialogs.h"
#include "setup/setupviewform.h"
#include "simoncom1.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>

namespace {

TEST(TrendOnTheLine, DrawBtShowsTheSelectedControllersHistory)
{
    ScriptedDialogs dialogs;
    ComSettings settings;
    SimOnCom1 sim(MatchingLine(ModbusMode::Rtu, settings), {{1, 0x4848}});
    ASSERT_TRUE(sim.ok());
    MonitorForm form(nullptr, [&] { return settings.lineSettings(); });
    form.showWindow();
    QTest::mouseClick(form.slotWidgets(1).runBt, Qt::LeftButton);
    SetupViewForm &view = form.setupForm();
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.DrawBt->isVisible(); }, 5000));

    QTest::mouseClick(view.DrawBt, Qt::LeftButton);
    EXPECT_TRUE(form.engine().state().ChartShown);
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.DrawIme->isVisible(); }, 2000));
    EXPECT_EQ(view.DrawBt->text(), "View setup parameters");
    EXPECT_TRUE(view.DrawBt->isVisible());
    EXPECT_FALSE(view.box(SetupBox::TempBox)->isVisible());
    // One sample a second; the chart from the second one on, the curve in
    // white on black.
    const PvTrend &trend = form.trend();
    ASSERT_TRUE(QTest::qWaitFor([&] { return trend.history(1).SampleIndex >= 3; }, 6000));
    EXPECT_EQ(trend.drawnSlot(), 1);
    const PvHistory &h = trend.history(1);
    // The simulated controller heats: the history follows its process value.
    const int last = h.SampleIndex - 1;
    EXPECT_NEAR(h.TrendBuffer[size_t(last)], form.engine().state().at(1).lastPv, 40);
    EXPECT_GT(h.TrendBuffer[size_t(last)], h.TrendBuffer[0]);
    int white = 0;
    const QImage &img = trend.image();
    for (int x = trend.chartLeft() + 1; x < trend.chartLeft() + 4; ++x)
        for (int y = 0; y < img.height(); ++y)
            white += img.pixel(x, y) == qRgb(255, 255, 255);
    EXPECT_GT(white, 0);

    // Back to the view, which reads the controller again.
    int reads = 0;
    auto done = form.engine().hooks.setupCycleDone;
    form.engine().hooks.setupCycleDone = [&] {
        ++reads;
        done();
    };
    QTest::mouseClick(view.DrawBt, Qt::LeftButton);
    EXPECT_FALSE(form.engine().state().ChartShown);
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.box(SetupBox::TempBox)->isVisible(); }, 3000));
    EXPECT_EQ(view.DrawBt->text(), "PV Monitor");
    EXPECT_FALSE(form.DrawIme->isVisible());
    EXPECT_TRUE(QTest::qWaitFor([&] { return reads > 0; }, 3000));

    // An address change and a disconnection start the history afresh.
    form.slotWidgets(1).comAddr->setValue(2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return trend.history(1).SampleIndex <= 1; }, 3000));
    QTest::mouseClick(form.slotWidgets(1).runBt, Qt::LeftButton);
    EXPECT_EQ(trend.history(1).SampleIndex, 0);
    EXPECT_FALSE(trend.history(1).TrendFull);
}

} // namespace
