#include "comsettingslogic.h"

#include "settingsfile.h"

void ComSettingsLogic::OKBt1Click()
{
    SaveSettingsFile(m_settings, m_dir);
}
