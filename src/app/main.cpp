// duva-config: the configuration program of the DUVA temperature controllers.
#include "aboutform.h"
#include "accessiblenames.h"
#include "comsettingsform.h"
#include "guardedapplication.h"
#include "mainform.h"
#include "monitorform.h"
#include "programform.h"
#include "recorderform.h"

int main(int argc, char **argv)
{
    GuardedApplication app(argc, argv);
    QApplication::setApplicationName(
        QStringLiteral("Corvantic Temperature Controller DUVA Series"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.0.4"));
    InstallAccessibleNames(&app);

    // The windows are created once, in this order, and live until the end.
    // The main window comes first: its creation fixes the screen width that
    // the later windows scale by.
    MainForm mainForm;
    auto *about = new AboutForm(&mainForm);
    auto *monitor = new MonitorForm(&mainForm);
    auto *settings = new ComSettingsForm(&mainForm);
    auto *program = new ProgramForm(&mainForm);
    auto *recorder = new RecorderForm(&mainForm);
    mainForm.attach(about, monitor, settings, program, recorder);

    mainForm.showMaximized();
    return app.exec();
}
