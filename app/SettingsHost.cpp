#include "app/SettingsHost.h"

#include "app/MainWindow.h"
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
    s.settingsStore.load(s.location);
}

bool SaveAppSettings()
{
    const AppState &s = app();
    return s.settingsStore.save(s.location);
}

void ShowSettingsNotes()
{
    MainWindow *window = mainWindow();
    if (!window || !window->statusText().isEmpty())
        return;
    const QString notes = app().settingsStore.takeLoadNotes();
    if (!notes.isEmpty())
        window->setStatusText(notes);
}

bool PrepareStylesheetLibrary()
{
    const std::optional<QStringList> names = PrepareStylesheetFolder(app().location);
    if (!names)
        return false;
    app().stylesheetList = *names;
    return true;
}
