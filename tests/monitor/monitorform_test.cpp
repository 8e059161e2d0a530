// The monitor window's widgets wired to the engine, offscreen, against
// simulated controllers.
#include "app/comsettings.h"
#include "monitor/monitorengine.h"
#include "monitor/monitorform.h"
#include "scripteddialogs.h"
#include "simoncom1.h"
#include "ui/lamp.h"

#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

TEST(MonitorWindow, ConnectSelectAndExitThroughTheWidgets)
{
    ScriptedDialogs dialogs;
    SimOnCom1 sim(SimLineSettings(), {{1, 0x4848}, {7, 0x9696}});
    ASSERT_TRUE(sim.ok());
    sim.controller(7).setEventInput(2, true);

    ComSettings settings;
    QWidget program;
    {
        MonitorForm form(nullptr, [&settings] { return settings.lineSettings(); });
        form.setProgramForm(&program);
        form.showWindow();
        program.show();
        ASSERT_TRUE(form.ApdComPort1.Open());
        EXPECT_TRUE(form.All_Image->isVisible());
        EXPECT_FALSE(form.DebugMess->isVisible());

        const SlotWidgets &one = form.slotWidgets(1);
        const SlotWidgets &two = form.slotWidgets(2);
        QTest::mouseClick(one.runBt, Qt::LeftButton);
        two.comAddr->setValue(7);
        QTest::mouseClick(two.runBt, Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return two.panel->isVisible() && !two.pv->text().isEmpty(); }, 5000));
        EXPECT_TRUE(one.panel->isVisible());
        EXPECT_FALSE(form.All_Image->isVisible());
        EXPECT_EQ(one.runBt->text(), "Disconnect");
        EXPECT_EQ(two.sv->text(), "100.0");
        EXPECT_TRUE(two.event2->isVisible());
        EXPECT_FALSE(two.event1->isVisible());
        EXPECT_TRUE(two.outQty1->isVisible());
        EXPECT_EQ(form.engine().state().SelectedDevice, 1);
        EXPECT_TRUE(form.SelPanel->isVisible());
        const QColor green(0, 255, 0);
        const Lamp *runLed = form.findChild<Lamp *>("RunLED2");
        const Lamp *heating = form.findChild<Lamp *>("OUT12");
        ASSERT_TRUE(runLed && heating);
        EXPECT_EQ(runLed->color(), green);
        // The heating output's lamp follows the status word.
        EXPECT_TRUE(QTest::qWaitFor([&] { return heating->color() == green; }, 5000));

        // A click on the second front selects it.
        QTest::mouseClick(two.image, Qt::LeftButton);
        EXPECT_EQ(form.engine().state().SelectedDevice, 2);
        EXPECT_LT(form.SelPanel->x(), two.panel->x());

        QTest::mouseClick(one.runBt, Qt::LeftButton);
        EXPECT_FALSE(one.panel->isVisible());
        EXPECT_EQ(one.runBt->text(), "Connect");
        EXPECT_EQ(one.runLed->color(), QColor(128, 128, 128));

        QTest::mouseClick(form.ExitBt2, Qt::LeftButton);
        EXPECT_FALSE(form.ApdComPort1.Open());
        EXPECT_FALSE(form.isVisible());
        EXPECT_FALSE(program.isVisible());
        EXPECT_FALSE(form.engine().timer1().isActive());
    }
    EXPECT_TRUE(dialogs.shown.isEmpty());
}

} // namespace
