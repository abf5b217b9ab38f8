#pragma once
// The conversion worker on its own, without the window or a document: settings from the
// test's folder, requests made from texts the test owns, the pages, failures and progress
// it reports recorded; a failure shown through the platform, as the program shows it.

#include "common/TestSupport.h"

#include "app/Document.h"
#include "app/SettingsHost.h"
#include "conversion/ConversionWorker.h"
#include "conversion/HtmlAdjust.h"
#include "conversion/PageExport.h"
#include "core/AppState.h"
#include "settings/Settings.h"
#include "settings/Stylesheets.h"

#include <memory>

class ConversionRig : public TestApp {
public:
    ~ConversionRig() { stop(); }

    // Starts the worker with the settings file as it is and asks for the first page, as
    // start-up does for a new document.
    bool start()
    {
        app().reset();
        InitSettingsLocation();
        if (!PrepareStylesheetLibrary())
            return false;
        LoadAppSettings();
        stylesheet = DefaultStylesheetPath(app().location);
        thread = std::make_unique<ConversionThread>();
        QObject::connect(thread.get(), &ConversionThread::pageReady, thread.get(),
                         [this](const QString &path, quint64 id) {
                             lastPage = path;
                             pageIds << id;
                         });
        QObject::connect(thread.get(), &ConversionThread::progress, thread.get(),
                         [this](bool on) { progress << on; });
        // Shown as the program shows it.
        QObject::connect(thread.get(), &ConversionThread::failed, thread.get(), [](const QString &message) {
            ::platform().messageBox(nullptr, MessageIcon::Error, QStringLiteral("Quilldown"), message,
                                    MessageButtons::Ok);
        });
        if (!thread->start(app().settings.PandocExe))
            return false;
        request();
        return true;
    }

    bool start(const Settings &settings) { return writeSettings(settings) && start(); }

    // Asks for a page of the texts as they are now.
    quint64 request(int quietMs = 0, bool forBrowser = false)
    {
        ConversionRequest r;
        r.markdown = markdown;
        r.head = head;
        r.documentPath = documentPath;
        r.stylesheet = stylesheet;
        r.format = app().settings.MarkdownVersion;
        r.pageTitle = PageTitleFromHead(head);
        r.quietMs = quietMs;
        r.forBrowser = forBrowser;
        return thread->request(r);
    }

    // The page of the newest request has been reported and no run is under way.
    bool idle() const
    {
        return !pageIds.isEmpty() && pageIds.last() == thread->newest() && !progress.isEmpty() &&
               !progress.last() && progress.count(true) == progress.count(false);
    }

    // Ends the worker and removes what it made, as shutdown does.
    int stop()
    {
        if (!thread)
            return 0;
        app().quit = 1;
        thread->stop();
        thread.reset();
        return 0;
    }

    // The export a save makes, with the texts of this rig.
    bool exportHtml() { return ExportPage({documentPath, stylesheet, app().settings.MarkdownVersion, head}); }

    QString previewFolder() const { return thread->previewFolder(); }

    QByteArray markdown;
    QByteArray head = kHeadTemplate;
    QString documentPath;
    QString stylesheet;
    std::unique_ptr<ConversionThread> thread;
    QString lastPage;
    QList<quint64> pageIds;
    QList<bool> progress;
};
