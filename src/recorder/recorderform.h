#pragma once

#include "serialchannel.h"

#include <QWidget>

// "Recorder Program": samples the process values of up to ten controllers.
// Its channel is ApdComPort1.
class RecorderForm : public QWidget
{
    Q_OBJECT
public:
    explicit RecorderForm(QWidget *owner);

    SerialChannel ApdComPort1;
};
