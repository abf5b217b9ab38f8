#include "app/IdlePass.h"

#include "app/AppState.h"
#include "app/MainWindow.h"
#include "platform/Platform.h"
#include "preview/PreviewPane.h"

#include <QTimer>

namespace {

QTimer *timer = nullptr;
std::int64_t lastActivity = 0;

// Work the preview still has to finish on its own: a page to load, a load or one of our
// scripts under way, an offset to restore.
bool previewBusy()
{
    const MainWindow *w = app().window;
    return !app().previewReadyPath.isEmpty() || PreviewIsLoading() || previewRestoreState().restoreTarget >= 0 ||
           (w && w->preview() && w->preview()->scriptsPending());
}

void tick()
{
    RefreshPreview();
    if (timer && !previewBusy() && platform().milliseconds() - lastActivity > kIdlePassLingerMs)
        timer->stop();
}

} // namespace

void StartIdlePass()
{
    delete timer;
    timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [] { tick(); });
    lastActivity = platform().milliseconds();
    timer->start(kIdlePassIntervalMs);
}

void StopIdlePass()
{
    delete timer;
    timer = nullptr;
}

void KeepIdlePassAwake()
{
    if (!timer)
        return;
    lastActivity = platform().milliseconds();
    if (!timer->isActive())
        timer->start(kIdlePassIntervalMs);
}

bool IdlePassAwake()
{
    return timer && timer->isActive();
}
