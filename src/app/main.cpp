// duva-config: the configuration program of the DUVA temperature controllers.
#include "app/comsettings.h"
#include "app/mainform.h"
#include "app/startup.h"
#include "ui/accessiblenames.h"
#include "ui/guardedapplication.h"

int main(int argc, char **argv)
{
    GuardedApplication app(argc, argv);
    QApplication::setApplicationName(
        QStringLiteral("Corvantic Temperature Controller DUVA Series"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.0.4"));
    InstallAccessibleNames(&app);

    ComSettings settings; // the one settings object, with the design defaults
    const auto mainForm = CreateWindows(settings);
    // However the event loop comes to its end, every window ends its work.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, mainForm.get(), [form = mainForm.get()] {
        if (!form->logic().ended())
            form->endProgram();
    });
    mainForm->showMaximized();
    return app.exec();
}
