#include "app/PreviewHost.h"

#include "core/AppState.h"
#include "app/IdlePass.h"
#include "app/MainWindow.h"
#include "app/Startup.h"

#include <QApplication>
#include <QFileInfo>
#include <QLibrary>
#include <QOpenGLContext>
#include <QStatusBar>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

namespace {

const char kModuleFile[] = "libquilldown_preview.so";

// The module's entry once the library is loaded. A library stays loaded for the life of
// the process, so its entry is looked up once per process, whichever window asks.
PreviewModuleEntry loaded = nullptr;

// The window's preview, nullptr until the module has made it.
PreviewController *controller()
{
    MainWindow *window = mainWindow();
    return window ? window->previewController() : nullptr;
}

// The module's path when it is in the process already (a test links it).
QString moduleInProcess()
{
    QString found;
    dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *data) {
            const QString path = QFile::decodeName(info->dlpi_name);
            if (QFileInfo(path).fileName() != QLatin1String(kModuleFile))
                return 0;
            *static_cast<QString *>(data) = path;
            return 1;
        },
        &found);
    return found;
}

// The folder of this library: the module sits beside it, in the build tree as installed.
QString baseLibraryFolder()
{
    Dl_info info;
    if (dladdr(reinterpret_cast<void *>(&LoadPreviewModule), &info) == 0 || !info.dli_fname)
        return QString();
    return QFileInfo(QFile::decodeName(info.dli_fname)).absolutePath();
}

// Loading and starting the engine reports what follows from the way the program sets
// it up on purpose, none of it a fault: the advice, meant for programs that link the
// engine, on how to start; the window system's note that it has no OpenGL (the preview
// is drawn in software); the engine's account of its graphics set-up. Those are not
// shown; everything else is. Some come from the engine's own threads, at any time.
QtMessageHandler shownHandler = nullptr;

bool expectedEngineMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtFatalMsg)
        return false;
    if (message.contains(QLatin1String("AA_ShareOpenGLContexts")))
        return true;
    if (SoftwarePreview() && (message.contains(QLatin1String("neither GLX nor EGL are enabled")) ||
                              message.contains(QLatin1String("No suitable graphics backend found"))))
        return true;
    return type == QtInfoMsg && context.category && qstrcmp(context.category, "qt.webenginecontext") == 0;
}

void quietEngineMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (expectedEngineMessage(type, context, message))
        return;
    if (shownHandler)
        shownHandler(type, context, message);
}

void quietEngineMessagesOnce()
{
    static const bool installed = [] {
        shownHandler = qInstallMessageHandler(quietEngineMessages);
        return true;
    }();
    (void)installed;
}

void failToStart(const QString &reason)
{
    qWarning("Quilldown: %s", qPrintable(reason));
    ShowFatalError(QStringLiteral("Could not initialize GUI!"));
    QApplication::exit(1);
}

} // namespace

namespace {

void addEngineFlag(const QByteArray &flag)
{
    const QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!flags.split(' ').contains(flag))
        qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.isEmpty() ? flag : flags + ' ' + flag);
}

} // namespace

EngineEnvironment::EngineEnvironment()
{
    if (geteuid() == 0) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
        addEngineFlag("--no-zygote");
    }
    // A page may draw local pictures but never read their pixels back: with the engine's
    // file switch left on (the preview's pictures need it), a canvas would otherwise
    // hand any local picture to a script.
    addEngineFlag("--disable-reading-from-canvas");
    if (SoftwarePreview() && !qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION")) {
        qputenv("QT_XCB_GL_INTEGRATION", "none");
        setOpenGLOff_ = true;
    }
}

void EngineEnvironment::settle()
{
    // Asking about OpenGL makes the window system read its setting now, once for the
    // life of the process.
    (void)QOpenGLContext::supportsThreadedOpenGL();
    if (setOpenGLOff_)
        qunsetenv("QT_XCB_GL_INTEGRATION");
    setOpenGLOff_ = false;
}

PreviewModuleEntry LoadPreviewModule(QString *error)
{
    if (loaded)
        return loaded;
    const QString folder = QCoreApplication::applicationDirPath();
    QStringList candidates = {
        folder + QStringLiteral("/../" QUILLDOWN_MODULE_DIR "/") + QLatin1String(kModuleFile),
        folder + u'/' + QLatin1String(kModuleFile),
    };
    if (const QString linked = moduleInProcess(); !linked.isEmpty())
        candidates.prepend(linked);
    // Beside this library is where tests and benchmarks find it; the program has
    // looked there already.
    if (const QString beside = baseLibraryFolder(); !beside.isEmpty()) {
        const QString path = beside + u'/' + QLatin1String(kModuleFile);
        const QString real = QFileInfo(path).canonicalFilePath();
        const bool tried = std::any_of(candidates.cbegin(), candidates.cend(),
                                       [&real](const QString &c) { return QFileInfo(c).canonicalFilePath() == real; });
        if (!real.isEmpty() && !tried)
            candidates.append(path);
    }
    QStringList reasons;
    for (const QString &path : candidates) {
        QLibrary library(path);
        if (!library.load()) {
            reasons << library.errorString();
            continue;
        }
        if (const auto entry = reinterpret_cast<PreviewModuleEntry>(library.resolve(kPreviewModuleEntry)))
            return loaded = entry;
        reasons << QStringLiteral("%1 offers no preview").arg(path);
    }
    if (error)
        *error = reasons.join(QStringLiteral("; "));
    return nullptr;
}

namespace {

// A hovered link's address shows over the status text, as in a browser; a message that
// was showing (such as "Converting...") comes back when the pointer leaves the link.
class HoveredLinkNote : public QObject {
public:
    explicit HoveredLinkNote(QStatusBar *bar)
        : QObject(bar), bar_(bar)
    {
    }

    void show(const QString &address)
    {
        if (!address.isEmpty()) {
            if (!showing_)
                covered_ = bar_->currentMessage();
            showing_ = true;
            bar_->showMessage(address);
        } else if (showing_) {
            showing_ = false;
            if (covered_.isEmpty())
                bar_->clearMessage();
            else
                bar_->showMessage(covered_);
        }
    }

private:
    QStatusBar *bar_;
    QString covered_;
    bool showing_ = false;
};

} // namespace

void StartPreviewPane()
{
    MainWindow *window = mainWindow();
    if (!window)
        return;
    // The window context drops the steps when the window goes first (a quick exit).
    QTimer::singleShot(0, window, [window] {
        // Whatever the module costs, the window is already drawn.
        window->repaint();
        QTimer::singleShot(0, window, [window] {
            QString error;
            quietEngineMessagesOnce();
            if (!LoadPreviewModule(&error)) {
                failToStart(error);
                return;
            }
            QTimer::singleShot(0, window, [window] {
                if (window->preview())
                    return;
                PreviewContext context;
                context.parent = window;
                context.editor = window->markdownEditor();
                context.syncScroll = [] { return app().settingsStore.SyncScroll() != 0; };
                context.activity = [] { KeepIdlePassAwake(); };
                context.note = [window](const QString &text) { window->setStatusText(text); };
                auto *linkNote = new HoveredLinkNote(window->statusBar());
                context.hover = [linkNote](const QString &address) { linkNote->show(address); };
                context.place = [window](QWidget *widget, PreviewPane *pane) { window->setPreviewPane(widget, pane); };
                window->adoptPreviewController(std::unique_ptr<PreviewController>(loaded(context)));
                if (!window->preview() || !window->previewController()) {
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
    if (PreviewController *preview = controller())
        preview->refresh();
}

bool PreviewPaneBusy()
{
    const PreviewController *preview = controller();
    return preview && preview->busy();
}

void ShowBlankPreview()
{
    if (PreviewController *preview = controller())
        preview->showBlankPage();
}

void AlignPreviewPane()
{
    if (PreviewController *preview = controller())
        preview->alignPreview();
}

void SyncPreviewToEditorMove()
{
    if (PreviewController *preview = controller())
        preview->editorMoved();
}
