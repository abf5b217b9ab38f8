#pragma once
// The conversion worker on its own, without the main window: settings from the test's
// folder, the two texts from buffers the test owns, published pages and progress
// counted. Failures are reported as the program reports them (through the platform).

#include "common/TestSupport.h"

#include "app/ConversionHost.h"
#include "app/Document.h"
#include "app/SettingsHost.h"
#include "conversion/ConversionWorker.h"
#include "conversion/HtmlAdjust.h"
#include "core/AppState.h"
#include "settings/Settings.h"

#include <QFile>

class ConversionRig : public TestApp {
public:
    ~ConversionRig() { stop(); }

    // Starts the worker with the settings file as it is and asks for the first page, as
    // start-up does for a new document.
    bool start()
    {
        AppState &s = app();
        s.reset();
        running = true;
        ::platform().milliseconds();
        InitSettingsLocation();
        ConversionHooks hooks = WindowConversionHooks();
        hooks.readMarkdown = [this] { return markdown; };
        hooks.readHead = [this] { return head; };
        hooks.pageReady = [this] { ++pagesReady; };
        hooks.progress = [this](bool on) { progress << on; };
        if (!InitConversion(std::move(hooks)) || !PrepareStylesheetLibrary())
            return false;
        LoadAppSettings();
        s.settingsLoaded = 1;
        // The worker converts once a window exists; here nothing else reads the texts.
        s.mainWindowExists = 1;
        RestoreDocumentStylesheet();
        RequestConversion();
        return true;
    }

    bool start(const Settings &settings) { return writeSettings(settings) && start(); }

    // Ends the worker and removes what it made, as shutdown does.
    int stop()
    {
        if (!running)
            return 0;
        running = false;
        AppState &s = app();
        s.quit = 1;
        WaitForConversionWorker();
        for (const QString &path : s.temporaryFiles.paths())
            QFile::remove(path);
        s.temporaryFiles.clear();
        s.mainWindowExists = 0;
        return 0;
    }

    // The export a save makes, with the head text of this rig.
    bool exportHtml() { return ExportHtml(app().documentPath.get(), app().currentStylesheet.get(), head); }

    QByteArray markdown;
    QByteArray head = kHeadTemplate;
    int pagesReady = 0;
    QList<bool> progress;

private:
    bool running = false;
};
