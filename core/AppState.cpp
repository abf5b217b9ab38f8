#include "core/AppState.h"

// One per process: see AppState.h.
AppState &app()
{
    static AppState state;
    return state;
}

void AppState::reset()
{
    quit = 0;
    converterState = ConverterStarting;
    converterPath.set(QString());
    settings = Settings();
    location = SettingsLocation();
    stylesheetList.clear();
    previewReadyPath.set(QString());
    freshDocument = 0;
}
