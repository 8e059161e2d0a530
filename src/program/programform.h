#pragma once

#include <QWidget>

// "Ramp/Soak Pattern Editor": the ramp/soak program of the controller
// selected in the monitor window.
class ProgramForm : public QWidget
{
    Q_OBJECT
public:
    explicit ProgramForm(QWidget *owner);
};
