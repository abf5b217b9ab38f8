#include "app/SettingsHost.h"

#include "core/AppState.h"
#include "settings/Paths.h"
#include "settings/Settings.h"
#include "settings/Stylesheets.h"

void InitSettingsLocation()
{
    app().location = DecideSettingsLocation(BaseDirectory());
}

void LoadAppSettings()
{
    AppState &s = app();
    s.settings = LoadSettings(s.location);
}

bool SaveAppSettings()
{
    const AppState &s = app();
    return SaveSettings(s.location, s.settings);
}

bool PrepareStylesheetLibrary()
{
    const std::optional<QStringList> names = PrepareStylesheetFolder(app().location);
    if (!names)
        return false;
    app().stylesheetList = *names;
    return true;
}
