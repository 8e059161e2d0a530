#pragma once

#include "serialchannel.h"

#include <QWidget>

// "DUVA CONFIGURATION PROGRAM": watches up to four controllers and shows the
// setup of the selected one. Its channel is ApdComPort1.
class MonitorForm : public QWidget
{
    Q_OBJECT
public:
    explicit MonitorForm(QWidget *owner);

    SerialChannel ApdComPort1;
};
