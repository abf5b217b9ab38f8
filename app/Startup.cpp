#include "app/Startup.h"

#include "core/AppState.h"
#include "app/BuildInfo.h"
#include "app/ConversionHost.h"
#include "app/Document.h"
#include "app/IdlePass.h"
#include "app/MainWindow.h"
#include "app/PreviewHost.h"
#include "app/PreviewKeyHook.h"
#include "app/Recovery.h"
#include "app/SettingsHost.h"
#include "platform/Platform.h"
#include "platform/TerminationSignal.h"
#include "settings/Paths.h"
#include "settings/Settings.h"

#include <QFile>
#include <QFileInfo>
#include <QStatusBar>
#include <QTimer>
#include <Qsci/qsciscintillabase.h>

namespace {
// Main-loop helpers that live from start-up to shutdown, one per program life.
PreviewKeyHook *keyHook = nullptr;
ConversionHost *conversionHost = nullptr;
}

PreviewKeyHook *ActivePreviewKeyHook()
{
    return keyHook;
}

ConversionHost *ActiveConversionHost()
{
    return conversionHost;
}

void ShowFatalError(const QString &message)
{
    platform().messageBox(mainWindow(), MessageIcon::Error, QStringLiteral("Quilldown"), message,
                          MessageButtons::Ok);
}

void EndOnTerminationSignals(QObject *parent)
{
    QuitOnTerminationSignals(parent, [] { app().quit = 1; });
}

bool StartApplication(const QStringList &arguments)
{
    AppState &s = app();
    s.reset();
    setMainWindow(nullptr);
    platform().milliseconds();
    InitSettingsLocation();
    // The settings are read only once the library is in place: a start-up that fails
    // leaves them untouched.
    if (!PrepareStylesheetLibrary()) {
        ShowFatalError(QStringLiteral("Could not initialize Pandoc!"));
        return false;
    }
    LoadAppSettings();
    conversionHost = new ConversionHost;
    if (!conversionHost->start()) {
        ShowFatalError(QStringLiteral("Could not initialize Pandoc!"));
        return false;
    }
    if (!BuildMainWindow()) {
        ShowFatalError(QStringLiteral("Could not initialize GUI!"));
        return false;
    }
    MainWindow *window = mainWindow();
    Document &document = *window->document();
    // Typing replaces whatever the status bar said; the text shows before a long step.
    QObject::connect(&document, &Document::edited, window, [window] { window->setStatusText(QString()); });
    QObject::connect(&document, &Document::status, window, [window](const QString &text) {
        window->setStatusText(text);
        window->statusBar()->repaint();
    });
    conversionHost->follow(&document);
    StartRecovery(document);

    NewDocument(document, true);
    const QString first = arguments.value(1);
    const QFileInfo file(first);
    if (!first.isEmpty() && file.exists() && !file.isDir())
        OpenDocument(document, file.absoluteFilePath());
    // A setting read from the file and replaced says so, once; a command-line file that
    // could not be opened says so instead.
    ShowSettingsNotes();
    if (window->statusText().isEmpty())
        window->setStatusText(QStringLiteral("Quilldown ") + QLatin1String(kQuilldownVersion));

    if (app().settingsStore.WinMax() != 0)
        window->showMaximized();
    else
        window->show();
    window->activateWindow();
    window->markdownEditor()->setFocus();

    keyHook = new PreviewKeyHook;
    StartIdlePass();
    StartPreviewPane();
    // Asked once the window is on the screen, from the main loop.
    QTimer::singleShot(0, window, [] { OfferRecoveryCopies(); });
    return true;
}

int Shutdown()
{
    AppState &s = app();
    s.quit = 1;
    StopIdlePass();
    delete keyHook;
    keyHook = nullptr;
    MainWindow *window = mainWindow();
    if (window)
        window->hide();
    FinishRecovery();
    // Values that were never read from the file must not replace it (a start-up that
    // failed before they were read leaves no window).
    if (window) {
        SaveAppSettings();
        window->document()->exporter().stop();
    }
    delete conversionHost;
    conversionHost = nullptr;
    if (window) {
        setMainWindow(nullptr);
        delete window;
    }
    return 0;
}
