#include "app/comsettingslogic.h"

#include "app/settingsfile.h"

void ComSettingsLogic::OKBt1Click()
{
    SaveSettingsFile(m_settings, m_dir);
}
