// duva-config: the configuration program of the DUVA temperature controllers.
#include "accessiblenames.h"
#include "guardedapplication.h"
#include "mainform.h"
#include "startup.h"

int main(int argc, char **argv)
{
    GuardedApplication app(argc, argv);
    QApplication::setApplicationName(
        QStringLiteral("Corvantic Temperature Controller DUVA Series"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.0.4"));
    InstallAccessibleNames(&app);

    const auto mainForm = CreateWindows();
    mainForm->showMaximized();
    return app.exec();
}
