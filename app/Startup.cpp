#include "app/Startup.h"

#include "core/AppState.h"
#include "app/BackgroundExport.h"
#include "app/ConversionHost.h"
#include "app/Document.h"
#include "app/IdlePass.h"
#include "app/MainWindow.h"
#include "app/PreviewHost.h"
#include "app/PreviewKeyHook.h"
#include "app/Recovery.h"
#include "app/SettingsHost.h"
#include "conversion/ConversionWorker.h"
#include "platform/Platform.h"
#include "platform/TerminationSignal.h"
#include "settings/Paths.h"
#include "settings/Settings.h"

#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <Qsci/qsciscintillabase.h>

namespace {
// Main-loop helper that lives from start-up to shutdown.
PreviewKeyHook *keyHook = nullptr;
}

PreviewKeyHook *ActivePreviewKeyHook()
{
    return keyHook;
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
    if (!StartConversion() || !PrepareStylesheetLibrary()) {
        ShowFatalError(QStringLiteral("Could not initialize Pandoc!"));
        return false;
    }
    LoadAppSettings();
    s.settingsLoaded = 1;
    if (!BuildMainWindow()) {
        ShowFatalError(QStringLiteral("Could not initialize GUI!"));
        return false;
    }
    StartRecovery();

    const QString first = arguments.value(1);
    const QFileInfo file(first);
    if (!first.isEmpty() && file.exists() && !file.isDir()) {
        s.lastFolder = FolderPart(file.absoluteFilePath());
        OpenDocument(file.absoluteFilePath());
    } else {
        NewDocument(false);
    }
    // A setting read from the file and replaced says so, once; a command-line file that
    // could not be opened says so instead.
    ShowSettingsNotes();
    if (mainWindow()->statusText().isEmpty())
        mainWindow()->setStatusText(QStringLiteral("Quilldown 1.7"));

    if (s.settings.WinMax != 0)
        mainWindow()->showMaximized();
    else
        mainWindow()->show();
    mainWindow()->activateWindow();
    mainWindow()->markdownEditor()->setFocus();

    keyHook = new PreviewKeyHook;
    StartIdlePass();
    StartPreviewPane();
    // Asked once the window is on the screen, from the main loop.
    QTimer::singleShot(0, mainWindow(), [] { OfferRecoveryCopies(); });
    return true;
}

int Shutdown()
{
    AppState &s = app();
    s.quit = 1;
    StopIdlePass();
    delete keyHook;
    keyHook = nullptr;
    if (mainWindow())
        mainWindow()->hide();
    FinishRecovery();
    // Values that were never read from the file must not replace it.
    if (s.settingsLoaded.load())
        SaveAppSettings();
    StopExportThread();
    WaitForConversionWorker();
    for (const QString &path : s.temporaryFiles.paths())
        QFile::remove(path);
    s.temporaryFiles.clear();
    if (mainWindow()) {
        s.mainWindowExists = 0;
        delete mainWindow();
        setMainWindow(nullptr);
    }
    return 0;
}
