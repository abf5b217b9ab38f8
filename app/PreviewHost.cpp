#include "app/PreviewHost.h"

#include "app/AppState.h"
#include "app/IdlePass.h"
#include "app/MainWindow.h"
#include "app/Startup.h"

#include <QApplication>
#include <QLibrary>
#include <QStringList>
#include <QTimer>

namespace {

const PreviewModule *registered = nullptr;

// Calls one entry of the module once the pane exists.
void call(void (*PreviewModule::*entry)())
{
    if (registered && app().window && app().window->preview())
        (registered->*entry)();
}

// The engine advises, on loading, how a program that links it should start; that does
// not apply to a module loaded on purpose after start-up, so the advice is not shown.
QtMessageHandler shownHandler = nullptr;

void quietEngineAdvice(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.contains(QLatin1String("AA_ShareOpenGLContexts")))
        return;
    if (shownHandler)
        shownHandler(type, context, message);
}

struct QuietEngineAdvice {
    QuietEngineAdvice() { shownHandler = qInstallMessageHandler(quietEngineAdvice); }
    ~QuietEngineAdvice() { qInstallMessageHandler(shownHandler); }
};

void failToStart(const QString &reason)
{
    qWarning("Quilldown: %s", qPrintable(reason));
    ShowFatalError(QStringLiteral("Could not initialize GUI!"));
    QApplication::exit(1);
}

} // namespace

void RegisterPreviewModule(const PreviewModule *module)
{
    registered = module;
}

const PreviewModule *LoadedPreviewModule()
{
    return registered;
}

bool LoadPreviewModule(QString *error)
{
    if (registered)
        return true;
    const QString folder = QCoreApplication::applicationDirPath();
    const QStringList candidates = {
        folder + QStringLiteral("/../" QUILLDOWN_MODULE_DIR "/libquilldown_preview.so"),
        folder + QStringLiteral("/libquilldown_preview.so"),
    };
    QStringList reasons;
    for (const QString &path : candidates) {
        QLibrary library(path);
        if (library.load() && registered)
            return true;
        reasons << library.errorString();
    }
    if (error)
        *error = reasons.join(QStringLiteral("; "));
    return false;
}

void StartPreviewPane()
{
    MainWindow *window = app().window;
    if (!window)
        return;
    // The window context drops the steps when the window goes first (a quick exit).
    QTimer::singleShot(0, window, [window] {
        // Whatever the module costs, the window is already drawn.
        window->repaint();
        QTimer::singleShot(0, window, [window] {
            QString error;
            const QuietEngineAdvice quiet;
            if (!LoadPreviewModule(&error)) {
                failToStart(error);
                return;
            }
            QTimer::singleShot(0, window, [window] {
                if (window->preview())
                    return;
                {
                    const QuietEngineAdvice quiet;
                    registered->createPane();
                }
                if (!window->preview()) {
                    failToStart(QStringLiteral("the preview pane could not be created"));
                    return;
                }
                KeepIdlePassAwake();
            });
        });
    });
}

void RefreshPreviewPane()
{
    call(&PreviewModule::refresh);
}

bool PreviewPaneBusy()
{
    return registered && app().window && app().window->preview() && registered->busy();
}

void ShowBlankPreview()
{
    call(&PreviewModule::showBlankPage);
}

void AlignPreviewPane()
{
    call(&PreviewModule::alignPreview);
}

void SyncPreviewToEditorMove()
{
    call(&PreviewModule::syncEditorToPreview);
}
