#pragma once
// A Document over two bare editors, as the window makes it, without the window, the
// preview or the conversion worker: settings and stylesheets from the test's folders, the
// converter located as the worker would locate it, the status texts recorded.

#include "common/EditorFixture.h"
#include "common/TestSupport.h"

#include "app/Document.h"
#include "app/SettingsHost.h"
#include "conversion/ConverterLocation.h"
#include "core/AppState.h"

#include <memory>

class DocumentRig : public TestApp {
public:
    ~DocumentRig() { app().quit = 1; }

    // Reads the settings file as it is, locates the converter and starts with a new
    // document, or with `path` opened when it is given.
    bool start(const QString &path = QString())
    {
        app().reset();
        // The fixture sets its editors up from default settings.
        editors = std::make_unique<EditorFixture>();
        InitSettingsLocation();
        if (!PrepareStylesheetLibrary())
            return false;
        LoadAppSettings();
        LocateConverter(app().settings.PandocExe);
        document = std::make_unique<Document>(editors->markdown, editors->head, &editors->window);
        QObject::connect(document.get(), &Document::status, document.get(),
                         [this](const QString &text) { statusText = text; });
        NewDocument(*document, true);
        if (!path.isEmpty())
            OpenDocument(*document, path);
        return true;
    }

    // As shutdown ends the document: the settings are written.
    int shutdown()
    {
        SaveAppSettings();
        document.reset();
        editors.reset();
        return 0;
    }

    Document &doc() { return *document; }
    QsciScintillaBase *md() const { return editors->markdown; }
    QsciScintillaBase *hd() const { return editors->head; }

    QString statusText;

private:
    // The editors outlive the document over them.
    std::unique_ptr<EditorFixture> editors;
    std::unique_ptr<Document> document;
};
