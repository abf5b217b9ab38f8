// The preview module's entry: makes the pane and the controller that drives it.
#include "preview/PreviewModule.h"

#include "preview/PreviewPane.h"
#include "preview/PreviewReload.h"
#include "preview/ScrollSync.h"

#include <QGuiApplication>
#include <QOpenGLContext>
#include <QPointer>
#include <QQuickWindow>
#include <QUrl>
#include <QWebEngineLoadingInfo>

namespace QtWebEngineCore {
// Makes the OpenGL context the engine shares with the window system. Linked into a
// program the engine calls this itself as the application starts; loaded later, as
// here, it is ours to call, and without it the engine crashes on some platforms.
void initialize();
}

namespace {

// The web view draws the page through a Qt Quick widget, whose hidden window Qt lists
// among the program's top-level windows and screen readers announce as a frame titled
// "Offscreen". It is named for what it shows instead. The widget is made, and may be
// made again, by the view whenever the page's renderer starts, so this runs on every
// load.
void nameRenderWindows()
{
    static const QString kTitle = QStringLiteral("Preview page");
    for (QWindow *window : QGuiApplication::topLevelWindows()) {
        if (window->inherits("QQuickWidgetOffscreenWindow") && window->title() != kTitle)
            window->setTitle(kTitle);
    }
}

class ModuleController final : public PreviewController {
public:
    ModuleController(PreviewPane *pane, const PreviewContext &context)
        : pane_(pane)
        , sync_(pane, context.editor, context.syncScroll)
        , reload_(pane)
    {
    }

    PreviewPane *pane() const override { return pane_.data(); }

    void refresh() override
    {
        if (!pane_ || reload_.step())
            return;
        if (sync_.enabled())
            sync_.previewMoved();
    }

    bool busy() const override
    {
        return pane_ && (pane_->isLoadingPage() || pane_->scriptsPending() || reload_.restorePending() ||
                         reload_.patchPending());
    }

    void showBlankPage() override
    {
        if (pane_)
            pane_->setUrl(QUrl(QStringLiteral("about:blank")));
    }

    void alignPreview() override { sync_.align(); }
    void editorMoved() override { sync_.editorMoved(); }
    PreviewReload &reload() override { return reload_; }
    ScrollSync &scrollSync() override { return sync_; }

private:
    QPointer<PreviewPane> pane_;
    ScrollSync sync_;
    PreviewReload reload_;
};

} // namespace

extern "C" Q_DECL_EXPORT PreviewController *quilldown_preview_module(const PreviewContext &context)
{
    // The page is drawn by the web engine's software compositor and shown by Qt Quick's
    // software renderer, so the window stays an ordinary raster window. With OpenGL the
    // whole window would be composed through it (in software on most machines without
    // a GPU driver) on every repaint anywhere in it, a caret blink included.
    if (SoftwarePreview() && QQuickWindow::graphicsApi() != QSGRendererInterface::Software)
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    if (!QOpenGLContext::globalShareContext())
        QtWebEngineCore::initialize();
    auto *pane = new PreviewPane(context.parent);
    pane->setAccessibleName(QStringLiteral("Preview"));
    if (context.activity)
        QObject::connect(pane, &PreviewPane::activity, pane, context.activity);
    if (context.note)
        QObject::connect(pane, &PreviewPane::note, pane, context.note);
    if (context.hover)
        QObject::connect(pane, &PreviewPane::hover, pane, context.hover);
    QObject::connect(pane->page(), &QWebEnginePage::loadingChanged, pane, [] { nameRenderWindows(); });
    nameRenderWindows();
    if (context.place)
        context.place(pane, pane);
    return new ModuleController(pane, context);
}
