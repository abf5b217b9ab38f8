// The preview module's entry: the table of calls the program looks up once it has
// loaded the library.
#include "preview/PreviewModule.h"

#include "preview/PreviewPane.h"
#include "preview/PreviewReload.h"
#include "preview/ScrollSync.h"

#include <QOpenGLContext>
#include <QQuickWindow>
#include <QUrl>

namespace QtWebEngineCore {
// Makes the OpenGL context the engine shares with the window system. Linked into a
// program the engine calls this itself as the application starts; loaded later, as
// here, it is ours to call, and without it the engine crashes on some platforms.
void initialize();
}

namespace {

void createPane(const PreviewContext &context)
{
    if (CurrentPreviewPane())
        return;
    // The page is drawn by the web engine's software compositor and shown by Qt Quick's
    // software renderer, so the window stays an ordinary raster window. With OpenGL the
    // whole window would be composed through it (in software on most machines without
    // a GPU driver) on every repaint anywhere in it, a caret blink included.
    if (SoftwarePreview() && QQuickWindow::graphicsApi() != QSGRendererInterface::Software)
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    if (!QOpenGLContext::globalShareContext())
        QtWebEngineCore::initialize();
    SetScrollSyncSources(context.editor, context.syncScroll);
    auto *pane = new PreviewPane(context.parent);
    SetCurrentPreviewPane(pane);
    if (context.activity)
        QObject::connect(pane, &PreviewPane::activity, pane, context.activity);
    if (context.note)
        QObject::connect(pane, &PreviewPane::note, pane, context.note);
    if (context.place)
        context.place(pane, pane);
}

bool busy()
{
    const PreviewPane *pane = CurrentPreviewPane();
    return pane && (pane->isLoadingPage() || pane->scriptsPending() || previewRestoreState().restoreTarget >= 0);
}

void showBlankPage()
{
    if (PreviewPane *pane = CurrentPreviewPane())
        pane->setUrl(QUrl(QStringLiteral("about:blank")));
}

const PreviewModule module = {createPane, RefreshPreview, busy, showBlankPage, AlignPreview, SyncEditorToPreview};

} // namespace

extern "C" Q_DECL_EXPORT const PreviewModule *quilldown_preview_module()
{
    return &module;
}
