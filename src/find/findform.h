#pragma once

#include "find/findlogic.h"
#include "link/serialchannel.h"

#include <QWidget>

class DeferredRender;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;

// "Find Controllers": scans the line for controllers, or for the line
// settings they answer at, and hands what it found to the rest of the
// program. Its channel is ApdComPort1, open while the window is shown.
class FindForm : public QWidget
{
    Q_OBJECT
public:
    explicit FindForm(QWidget *owner, LineSettingsSource settings = {});
    ~FindForm() override;

    FindLogic &logic() { return *m_logic; }
    bool holdsPort() const { return ApdComPort1.isOpen(); }
    // The program ends: stop and close the channel, asking nothing.
    void endWork();
    // Shows the window centred over its owner, or brings it to the front.
    void showWindow();

    void ScanBtClick();
    void SearchBtClick();
    void CheckBtClick();

    SerialChannel ApdComPort1;
    QLabel *SettingsLB = nullptr;
    QSpinBox *FirstAddr = nullptr;
    QSpinBox *LastAddr = nullptr;
    QPushButton *ScanBt = nullptr;
    QPushButton *CheckBt = nullptr; // the line check, on the scan's range
    QSpinBox *SearchFirst = nullptr;
    QSpinBox *SearchLast = nullptr;
    QPushButton *SearchBt = nullptr;
    QProgressBar *Progress = nullptr;
    QLabel *StatusLB = nullptr;
    QLabel *CheckLB = nullptr; // what the line check found
    QSpinBox *MarginBox = nullptr; // the reply margin of each address, in ms
    QLabel *TimeLB = nullptr; // how long a scan and a search can take
    QPushButton *CancelBt = nullptr;
    QTableWidget *ResultGrid = nullptr;
    QPushButton *UseBt = nullptr;
    QPushButton *MonitorBt = nullptr;
    QPushButton *CloseBt = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void render();

    FindLogic *m_logic = nullptr;
    DeferredRender *m_render = nullptr;
};
