#pragma once

#include "app/comsettingslogic.h"

#include <QWidget>

class QButtonGroup;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QComboBox;

// "COMPORT PROTOCOL": the communication settings. The selections of its six
// radio groups are the program's settings; every window reads them here.
class ComSettingsForm : public QWidget
{
    Q_OBJECT
public:
    // `settings` is the program's one settings object, which the dialog's
    // selections are.
    ComSettingsForm(QWidget *owner, ComSettings &settings);

    const ComSettings &settings() const { return m_logic.settings(); }
    // Shows the selections again after the settings changed elsewhere
    // (loading the settings file).
    void refresh() { render(); }

    // Shows the dialog centred over its owner, or brings it to the front.
    void showCentred();

    // Handlers.
    void FormShow();
    void OKBt1Click();
    void AssignBtClick();
    void RadioClick(ComSettings::Group group, int index);
    void NetworkClick(LineKind kind);

    QGroupBox *groupBox(ComSettings::Group group) const { return m_boxes[group]; }
    QPushButton *OKBt1 = nullptr;
    QPushButton *AssignBt = nullptr; // binds the selected COM number to a device
    // The network line, chosen beside the COM ports, and its device.
    QRadioButton *DeviceServerBt = nullptr;
    QRadioButton *GatewayBt = nullptr;
    QGroupBox *NetworkBox = nullptr;
    QLineEdit *HostEdit = nullptr;
    QSpinBox *PortEdit = nullptr;
    QSpinBox *MarginEdit = nullptr;
    QLabel *NetNote = nullptr;
    // How every window talks on the line.
    QGroupBox *TalkBox = nullptr;
    QComboBox *EchoBox = nullptr; // automatic, on, off
    QSpinBox *TimeoutEdit = nullptr; // 0: automatic
    QSpinBox *RetriesEdit = nullptr; // -1: automatic
    QSpinBox *PauseEdit = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    // Escape is the close box (nothing saved); Enter is OK.
    void keyPressEvent(QKeyEvent *event) override;

private:
    static constexpr int DeviceServerId = 100;
    static constexpr int GatewayId = 101;

    void render();
    void addNetworkChoices(QGroupBox *box, QGridLayout *grid, QButtonGroup *buttons);
    void addNetworkBox();
    void addTalkBox();
    // Each COM button tells, as its tooltip, which device it reaches.
    void showPortDevices();

    ComSettingsLogic m_logic;
    QGroupBox *m_boxes[ComSettings::GroupCount] = {};
    QButtonGroup *m_buttons[ComSettings::GroupCount] = {};
    bool m_rendering = false;
};
