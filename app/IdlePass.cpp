#include "app/IdlePass.h"

#include "core/AppState.h"
#include "app/PreviewHost.h"
#include "platform/Platform.h"

#include <QTimer>

namespace {

QTimer *timer = nullptr;
std::int64_t lastActivity = 0;

// Work the preview still has to finish on its own: a page to show, a load or one of our
// scripts under way, an offset to restore.
bool previewBusy()
{
    return !app().previewReadyPath.isEmpty() || PreviewPaneBusy();
}

void tick()
{
    RefreshPreviewPane();
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
