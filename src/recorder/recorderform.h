#pragma once

#include "link/serialchannel.h"

#include <QWidget>

// "Recorder Program": samples the process values of up to ten controllers.
// Its channel is ApdComPort1.
class RecorderForm : public QWidget
{
    Q_OBJECT
public:
    explicit RecorderForm(QWidget *owner);

    // True while the window's channel is open.
    bool holdsPort() const { return ApdComPort1.isOpen(); }
    // The program ends: close the channel, asking nothing.
    void endWork();

    SerialChannel ApdComPort1;
};
