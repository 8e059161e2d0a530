#pragma once

#include "comsettings.h"

#include <QWidget>

class QButtonGroup;
class QGroupBox;
class QPushButton;

// "COMPORT PROTOCOL": the communication settings. The selections of its six
// radio groups are the program's settings; every window reads them here.
class ComSettingsForm : public QWidget
{
    Q_OBJECT
public:
    explicit ComSettingsForm(QWidget *owner);

    const ComSettings &settings() const { return m_settings; }
    // Replaces the selections (loading the settings file) and shows them.
    void setSettings(const ComSettings &settings);

    // Shows the dialog centred over its owner, or brings it to the front.
    void showCentred();

    // Handlers.
    void FormShow();
    void OKBt1Click();
    void RadioClick(ComSettings::Group group, int index);

    QGroupBox *groupBox(ComSettings::Group group) const { return m_boxes[group]; }
    QPushButton *OKBt1 = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void render();
    // Each COM button tells, as its tooltip, which device it reaches.
    void showPortDevices();

    ComSettings m_settings;
    QGroupBox *m_boxes[ComSettings::GroupCount] = {};
    QButtonGroup *m_buttons[ComSettings::GroupCount] = {};
};
