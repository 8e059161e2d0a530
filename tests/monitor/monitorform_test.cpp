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
#include <QSet>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// Counts what re-styles, moves, resizes, shows, hides or restacks a widget of
// a window.
class WidgetChanges : public QObject
{
public:
    explicit WidgetChanges(QWidget *window)
        : m_window(window)
    {
        qApp->installEventFilter(this);
    }
    ~WidgetChanges() override { qApp->removeEventFilter(this); }
    QStringList seen;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        static const QSet<QEvent::Type> kinds {
            QEvent::StyleChange,  QEvent::FontChange,   QEvent::PaletteChange,
            QEvent::Move,         QEvent::Resize,       QEvent::ShowToParent,
            QEvent::HideToParent, QEvent::ZOrderChange, QEvent::ToolTipChange};
        auto *widget = qobject_cast<QWidget *>(watched);
        if (widget && kinds.contains(event->type()) && m_window->isAncestorOf(widget))
            seen << QStringLiteral("%1 %2").arg(widget->objectName()).arg(int(event->type()));
        return false;
    }

private:
    QWidget *m_window;
};

// The window shows the engine's changes at its next render.
void waitForRender(MonitorForm &form)
{
    QSignalSpy rendered(&form, &MonitorForm::rendered);
    EXPECT_TRUE(rendered.wait(2000));
}

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
        waitForRender(form);
        EXPECT_EQ(form.engine().state().SelectedDevice, 2);
        EXPECT_LT(form.SelPanel->x(), two.panel->x());

        QTest::mouseClick(one.runBt, Qt::LeftButton);
        waitForRender(form);
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

// The engine changes its view several times while it handles one reply: the
// window renders once, after the handler, and a render of a view that did not
// change touches no widget (a style sheet set again re-polishes the widget).
TEST(MonitorWindow, RendersOncePerTurnAndOnlyWhatChanged)
{
    MonitorForm form(nullptr);
    QSignalSpy rendered(&form, &MonitorForm::rendered);
    SlotPanel &panel = form.engine().view().at(1);
    panel.visible = true;
    panel.modelClass = 2;
    panel.pvText = QStringLiteral("25.0");
    panel.outRow1Visible = true;
    panel.outQty1 = 500;
    for (int i = 0; i < 10; ++i)
        emit form.engine().viewChanged();
    EXPECT_EQ(rendered.count(), 0);
    ASSERT_TRUE(rendered.wait(2000));
    QTest::qWait(50);
    EXPECT_EQ(rendered.count(), 1);
    EXPECT_EQ(form.slotWidgets(1).pv->text(), "25.0");
    EXPECT_EQ(form.slotWidgets(1).outQty1->value(), 500);

    WidgetChanges changes(&form);
    emit form.engine().viewChanged();
    ASSERT_TRUE(rendered.wait(2000));
    EXPECT_TRUE(changes.seen.isEmpty()) << changes.seen.join(", ").toStdString();
}

// An address takes effect when it is committed, not at each key: typing 12
// would first poll address 1.
TEST(MonitorWindow, AnAddressTakesEffectWhenCommitted)
{
    MonitorForm form(nullptr);
    QSpinBox *box = form.slotWidgets(2).comAddr;
    box->selectAll();
    QTest::keyClicks(box, "12");
    EXPECT_EQ(box->text(), "12");
    EXPECT_EQ(form.engine().view().comAddr[2], 1);
    QTest::keyClick(box, Qt::Key_Enter);
    EXPECT_EQ(form.engine().view().comAddr[2], 12);
}

// A slot that never answered has no panel to show: its "Lost Communication"
// and its note show all the same, over the idle picture and beside its
// controls.
TEST(MonitorWindow, LostAndNoteShowForASlotNeverIdentified)
{
    MonitorForm form(nullptr);
    const SlotWidgets &s = form.slotWidgets(3);
    auto *note = form.findChild<QLabel *>("Note3");
    ASSERT_TRUE(note);
    SlotPanel &panel = form.engine().view().at(3);
    panel.lost = true;
    panel.note = "No answer – disconnected";
    emit form.engine().viewChanged();
    waitForRender(form);
    EXPECT_FALSE(s.panel->isVisibleTo(&form));
    EXPECT_TRUE(s.lost->isVisibleTo(&form));
    EXPECT_EQ(form.childAt(s.lost->geometry().center()), s.lost);
    EXPECT_TRUE(note->isVisibleTo(&form));
    EXPECT_EQ(note->text(), "No answer – disconnected");

    panel.lost = false;
    panel.note.clear();
    emit form.engine().viewChanged();
    waitForRender(form);
    EXPECT_FALSE(s.lost->isVisibleTo(&form));
    EXPECT_FALSE(note->isVisibleTo(&form));
}

// Each lamp says its name, the lamps on one spot (the small fronts' alarm
// lamp) say all theirs, and each bar its level.
TEST(MonitorWindow, LampsAndBarsSayWhatTheyAre)
{
    MonitorForm form(nullptr);
    MonitorView &view = form.engine().view();
    view.at(1).visible = true;
    view.at(1).modelClass = 1;
    view.at(4).visible = true;
    view.at(4).modelClass = 4;
    view.at(4).outQty1 = 735;
    emit form.engine().viewChanged();
    waitForRender(form);

    const QStringList names {"AT4", "OUT14", "OUT24", "ALM14", "ALM24", "ALM34", "CDEG4", "FDEG4"};
    const QStringList tips {"AT", "OUT1", "OUT2", "ALM1", "ALM2", "ALM3", "C", "F"};
    for (int i = 0; i < names.size(); ++i) {
        const Lamp *lamp = form.findChild<Lamp *>(names[i]);
        ASSERT_TRUE(lamp) << names[i].toStdString();
        EXPECT_EQ(lamp->toolTip(), tips[i]);
    }
    EXPECT_EQ(form.findChild<Lamp *>("ALM31")->toolTip(), "ALM1, ALM2, ALM3");
    EXPECT_EQ(form.findChild<Lamp *>("OUT11")->toolTip(), "OUT1");
    EXPECT_EQ(form.slotWidgets(4).outQty1->toolTip(), "OUT1 level 73.5 %");
    EXPECT_EQ(form.slotWidgets(4).outQty2->toolTip(), "OUT2 level 0.0 %");

    view.at(4).outQty1 = 1000;
    emit form.engine().viewChanged();
    waitForRender(form);
    EXPECT_EQ(form.slotWidgets(4).outQty1->toolTip(), "OUT1 level 100.0 %");
}

// A model the program does not know gets the generic front with the 48 x 48
// layout (lamps, displays and fonts of it) and its code written on it (the
// test's screen is 1024 wide: design pixels are pixels).
TEST(MonitorWindow, AnUnknownModelShowsAGenericFront)
{
    MonitorForm form(nullptr);
    SlotPanel &panel = form.engine().view().at(2);
    panel.visible = true;
    panel.modelClass = 0;
    panel.modelCode = 0x1111;
    panel.pvText = "25.0";
    emit form.engine().viewChanged();
    waitForRender(form);

    const SlotWidgets &s = form.slotWidgets(2);
    auto *model = form.findChild<QLabel *>("ModelLB2");
    ASSERT_TRUE(model);
    EXPECT_TRUE(model->isVisibleTo(&form));
    EXPECT_EQ(model->text(), "Model 1111");
    EXPECT_FALSE(s.image->pixmap().isNull());
    EXPECT_EQ(s.pv->geometry(), QRect(35, 26, 132, 42));
    EXPECT_EQ(s.sv->geometry(), QRect(35, 68, 132, 42));
    EXPECT_EQ(s.pv->font().pointSize(), 32);
    EXPECT_EQ(form.findChild<Lamp *>("AT2")->pos(), QPoint(28, 130));
    EXPECT_EQ(form.findChild<Lamp *>("FDEG2")->pos(), QPoint(175, 50));

    // Identified as a known model, the code goes.
    panel.modelClass = 4;
    panel.modelCode = 0x9696;
    emit form.engine().viewChanged();
    waitForRender(form);
    EXPECT_FALSE(model->isVisibleTo(&form));
    EXPECT_EQ(form.findChild<Lamp *>("AT2")->pos(), QPoint(28, 135));
}

} // namespace
