#include "core/AppState.h"

AppState &app()
{
    static AppState state;
    return state;
}

void AppState::reset()
{
    quit = 0;
    settingsLoaded = 0;
    workerCount = 0;
    converterState = ConverterStarting;
    changePending = 0;
    changeSuppression = 0;
    openInBrowser = 0;
    mainWindowExists = 0;
    lastChangeTime = 0;
    converterPath.set(QString());
    previewReadyPath.set(QString());
    lastPreviewFile.set(QString());
    documentPath.set(QString());
    currentStylesheet.set(QString());
    temporaryFiles.clear();
    settings = Settings();
    location = SettingsLocation();
    lastFolder.clear();
    stylesheetChanged = 0;
    freshDocument = 0;
    stylesheetList.clear();
}
