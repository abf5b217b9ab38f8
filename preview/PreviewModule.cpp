// The preview module's entry: registers its calls with the program when it is loaded.
#include "core/AppState.h"
#include "app/MainWindow.h"
#include "app/PreviewHost.h"
#include "preview/PreviewPane.h"
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

void createPane()
{
    MainWindow *window = mainWindow();
    if (!window || window->preview())
        return;
    // The page is drawn by the web engine's software compositor and shown by Qt Quick's
    // software renderer, so the window stays an ordinary raster window. With OpenGL the
    // whole window would be composed through it (in software on most machines without
    // a GPU driver) on every repaint anywhere in it, a caret blink included.
    if (SoftwarePreview() && QQuickWindow::graphicsApi() != QSGRendererInterface::Software)
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
    if (!QOpenGLContext::globalShareContext())
        QtWebEngineCore::initialize();
    auto *pane = new PreviewPane;
    window->setPreviewPane(pane, pane);
}

bool busy()
{
    const PreviewPane *pane = mainWindow() ? mainWindow()->preview() : nullptr;
    return pane && (pane->isLoadingPage() || pane->scriptsPending() || previewRestoreState().restoreTarget >= 0);
}

void showBlankPage()
{
    if (PreviewPane *pane = mainWindow() ? mainWindow()->preview() : nullptr)
        pane->setUrl(QUrl(QStringLiteral("about:blank")));
}

const PreviewModule module = {createPane, RefreshPreview, busy, showBlankPage, AlignPreview, SyncEditorToPreview};

struct Registration {
    Registration() { RegisterPreviewModule(&module); }
    ~Registration() { RegisterPreviewModule(nullptr); }
} registration;

} // namespace
