#pragma once

#include "link/serialchannel.h"
#include "monitor/monitorsession.h"
#include "monitor/monitorview.h"

#include <QTimer>
#include <QWidget>
#include <array>
#include <memory>

class DeferredRender;
class Lamp;
class MonitorEngine;
class CompareForm;
class ParameterTransfer;
class SetupComparison;
class PvTrend;
class SetupViewForm;
class SetupViewLogic;
class QFrame;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;

// The widgets of one slot's panel and the controls beneath it.
struct SlotWidgets
{
    QFrame *panel = nullptr; // DevicenPL
    QLabel *image = nullptr; // Imagen
    QLabel *model = nullptr; // ModelLBn: the code of a model the program does not know
    QLabel *pv = nullptr; // EditnP
    QLabel *sv = nullptr; // EditnS
    std::array<Lamp *, 8> lamps {}; // ATn, OUT1n, OUT2n, ALM1n, ALM2n, ALM3n, CDEGn, FDEGn
    QLabel *outLabel1 = nullptr; // OutLB1n
    QLabel *outLabel2 = nullptr;
    QProgressBar *outQty1 = nullptr; // OutQty1n
    QProgressBar *outQty2 = nullptr;
    QLabel *event1 = nullptr; // Eventn1
    QLabel *event2 = nullptr;
    QLabel *lost = nullptr; // Lostn, on the window over the panel's place
    Lamp *runLed = nullptr; // RunLEDn
    QPushButton *runBt = nullptr; // RunBtn
    QSpinBox *comAddr = nullptr; // ComAddrn
    QLabel *doCount = nullptr; // DoCntn
    QLabel *errCount = nullptr; // ErrCntn
    QPushButton *errClear = nullptr; // ErrClearBtn
    QLabel *note = nullptr; // Noten, beneath the slot's controls
    QLabel *health = nullptr; // Healthn, in the same place when there is no note
};

// "DUVA CONFIGURATION PROGRAM": watches up to four controllers and shows the
// setup of the selected one. Its channel is ApdComPort1; all its traffic goes
// through the engine.
//
// The line sets the pace, not the screen: the engine's changes are rendered
// at most once per turn of the event loop, after the line's event that made
// them (and the request it sent) is done, and a render touches only the
// widgets whose value changed since the last one.
class MonitorForm : public QWidget
{
    Q_OBJECT
public:
    // `settings`: where the window reads the line settings it applies to its
    // channel when it is shown (the defaults when none is given).
    explicit MonitorForm(QWidget *owner, LineSettingsSource settings = {});
    ~MonitorForm() override;

    // True while the window's channel is open.
    bool holdsPort() const;
    // The program ends: stop polling and close the channel, asking nothing.
    void endWork();
    // The program editor, which the window opens and closes with itself.
    void setProgramForm(QWidget *programForm) { m_programForm = programForm; }
    // Shows the window maximized, or brings it to the front when it is shown.
    void showWindow();
    void ExitBt2Click();

    SerialChannel ApdComPort1;
    MonitorEngine &engine() { return *m_engine; }
    MonitorSession &session() { return *m_session; }
    SetupViewLogic &setupView() { return m_session->setupView(); }
    SetupViewForm &setupForm() { return *m_setupForm; }
    ParameterTransfer &transfer() { return m_session->transfer(); }
    SetupComparison &comparison() { return m_session->comparison(); }
    CompareForm &compareForm() { return *m_compareForm; }
    PvTrend &trend() { return *m_trend; }
    void ProgBtClick();
    const SlotWidgets &slotWidgets(int n) const { return m_slots[size_t(n)]; }
    QFrame *SelPanel = nullptr;
    QLabel *All_Image = nullptr;
    QLabel *DrawIme = nullptr; // the trend chart, in place of the setup view
    QFrame *DebugMess = nullptr;
    QLabel *ErrMess = nullptr;
    QPushButton *ExitBt2 = nullptr;

signals:
    // A render of the engine's view into the widgets is done.
    void rendered();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createSlot(int n);
    // The engine changed its view: one render, once the event in hand is done.
    void scheduleRender();
    void render();
    void renderSlot(int n, const SlotPanel &p, const SlotPanel &was, bool all);

    void createSetupView();

    MonitorSession *m_session = nullptr;
    MonitorEngine *m_engine = nullptr;
    CompareForm *m_compareForm = nullptr;
    std::unique_ptr<PvTrend> m_trend;
    quint64 m_trendShown = 0; // the chart's version on DrawIme
    SetupViewForm *m_setupForm = nullptr;
    QWidget *m_programForm = nullptr;
    QRect m_drawBtHome; // DrawBt's place in the setup view
    std::array<SlotWidgets, 5> m_slots {};
    // The render waits for the port's pending write (the request the engine
    // sent from the line's event) to leave.
    DeferredRender *m_render = nullptr;
    MonitorView m_shown; // what the widgets show
    bool m_renderedOnce = false;
};
