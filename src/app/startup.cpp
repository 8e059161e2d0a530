#include "app/startup.h"

#include "app/aboutform.h"
#include "app/comsettings.h"
#include "app/comsettingsform.h"
#include "app/mainform.h"
#include "find/findform.h"
#include "monitor/monitorform.h"
#include "program/programform.h"
#include "recorder/recorderform.h"

std::unique_ptr<MainForm> CreateWindows(ComSettings &settings)
{
    // The main window comes first: its creation fixes the screen width that
    // the later windows scale by.
    auto mainForm = std::make_unique<MainForm>(settings);
    auto *about = new AboutForm(mainForm.get());
    auto *monitor =
        new MonitorForm(mainForm.get(), [&settings] { return settings.lineSettings(); });
    auto *settingsForm = new ComSettingsForm(mainForm.get(), settings);
    auto *program = new ProgramForm(mainForm.get());
    auto *recorder =
        new RecorderForm(mainForm.get(), [&settings] { return settings.lineSettings(); });
    auto *find = new FindForm(mainForm.get(), [&settings] { return settings.lineSettings(); });
    mainForm->attach(about, monitor, settingsForm, program, recorder, find);
    return mainForm;
}
