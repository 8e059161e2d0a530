#pragma once

#include "link/serialchannel.h"

#include <QWidget>
#include <array>

class Lamp;
class MonitorEngine;
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
    QLabel *pv = nullptr; // EditnP
    QLabel *sv = nullptr; // EditnS
    std::array<Lamp *, 8> lamps {}; // ATn, OUT1n, OUT2n, ALM1n, ALM2n, ALM3n, CDEGn, FDEGn
    QLabel *outLabel1 = nullptr; // OutLB1n
    QLabel *outLabel2 = nullptr;
    QProgressBar *outQty1 = nullptr; // OutQty1n
    QProgressBar *outQty2 = nullptr;
    QLabel *event1 = nullptr; // Eventn1
    QLabel *event2 = nullptr;
    QLabel *lost = nullptr; // Lostn
    Lamp *runLed = nullptr; // RunLEDn
    QPushButton *runBt = nullptr; // RunBtn
    QSpinBox *comAddr = nullptr; // ComAddrn
    QLabel *doCount = nullptr; // DoCntn
    QLabel *errCount = nullptr; // ErrCntn
    QPushButton *errClear = nullptr; // ErrClearBtn
};

// "DUVA CONFIGURATION PROGRAM": watches up to four controllers and shows the
// setup of the selected one. Its channel is ApdComPort1; all its traffic goes
// through the engine.
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
    const SlotWidgets &slotWidgets(int n) const { return m_slots[size_t(n)]; }
    QFrame *SelPanel = nullptr;
    QLabel *All_Image = nullptr;
    QFrame *DebugMess = nullptr;
    QLabel *ErrMess = nullptr;
    QPushButton *ExitBt2 = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createSlot(int n);
    void render();

    MonitorEngine *m_engine = nullptr;
    QWidget *m_programForm = nullptr;
    std::array<SlotWidgets, 5> m_slots {};
    int m_shownClass[5] = {-1, -1, -1, -1, -1};
};
