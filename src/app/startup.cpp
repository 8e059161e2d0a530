#include "startup.h"

#include "aboutform.h"
#include "comsettingsform.h"
#include "mainform.h"
#include "monitorform.h"
#include "programform.h"
#include "recorderform.h"

std::unique_ptr<MainForm> CreateWindows()
{
    // The main window comes first: its creation fixes the screen width that
    // the later windows scale by.
    auto mainForm = std::make_unique<MainForm>();
    auto *about = new AboutForm(mainForm.get());
    auto *monitor = new MonitorForm(mainForm.get());
    auto *settings = new ComSettingsForm(mainForm.get());
    auto *program = new ProgramForm(mainForm.get());
    auto *recorder = new RecorderForm(mainForm.get());
    mainForm->attach(about, monitor, settings, program, recorder);
    return mainForm;
}
