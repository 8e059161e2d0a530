#include "recorder/recorderform.h"

#include "ui/dialogs.h"
#include "ui/screenscale.h"

RecorderForm::RecorderForm(QWidget *owner)
    : QWidget(owner, Qt::Window)
{
    setObjectName(QStringLiteral("RecorderForm"));
    setWindowTitle(QStringLiteral("Recorder Program"));
    resize(Scaled(1024), Scaled(740));
    ApdComPort1.setObjectName(QStringLiteral("ApdComPort1"));
    ApdComPort1.setPortChooser(ChoosePort);
}

void RecorderForm::endWork()
{
    ApdComPort1.close();
    hide();
}
