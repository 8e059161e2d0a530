#include "monitorform.h"

#include "screenscale.h"

MonitorForm::MonitorForm(QWidget *owner)
    : QWidget(owner, Qt::Window | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("MonitorForm"));
    setWindowTitle(QStringLiteral("DUVA CONFIGURATION PROGRAM"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    resize(Scaled(1024), Scaled(740));
    ApdComPort1.setObjectName(QStringLiteral("ApdComPort1"));
    ApdComPort1.setStopBits(0);
}
