#include "program/programform.h"

#include "ui/screenscale.h"

ProgramForm::ProgramForm(QWidget *owner)
    : QWidget(owner, Qt::Window)
{
    setObjectName(QStringLiteral("ProgramForm"));
    setWindowTitle(QStringLiteral("Ramp/Soak Pattern Editor"));
    resize(Scaled(800), Scaled(600));
}
