#include "program/programform.h"

ProgramForm::ProgramForm(QWidget *owner)
    : QWidget(owner, Qt::Window)
{
    setObjectName(QStringLiteral("ProgramForm"));
    setWindowTitle(QStringLiteral("Ramp/Soak Pattern Editor"));
    resize(800, 600);
}
