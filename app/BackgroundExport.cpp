#include "app/BackgroundExport.h"

#include "core/AppState.h"
#include "app/MainWindow.h"
#include "conversion/HtmlAdjust.h"

#include <QApplication>
#include <QEventLoop>
#include <QPointer>
#include <QProgressDialog>
#include <QTimer>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace {

// Under `exportLock`: what the thread takes next, whether it is exporting, and its end.
std::mutex exportLock;
std::condition_variable jobArrived;
std::optional<ExportJob> nextJob;
bool exporting = false;
bool stopping = false;
std::thread exportThread;

// Main thread only. A program life of its own for each start, so that a report queued
// by an earlier life (tests run several) is dropped.
int life = 0;
bool exportRunning = false;
std::function<void(bool)> onFinished;
QEventLoop *waitingLoop = nullptr;

// Ran on the main thread after an export ended: the last one of a series reports.
void exportEnded(int from, bool exported)
{
    if (from != life)
        return;
    {
        std::lock_guard<std::mutex> guard(exportLock);
        if (nextJob || exporting)
            return;
    }
    exportRunning = false;
    if (waitingLoop)
        waitingLoop->quit();
    auto finished = std::move(onFinished);
    onFinished = nullptr;
    if (finished)
        finished(exported);
}

void exportLoop(int from)
{
    std::unique_lock<std::mutex> guard(exportLock);
    for (;;) {
        jobArrived.wait(guard, [] { return nextJob.has_value() || stopping; });
        if (stopping)
            return;
        const ExportJob job = std::move(*nextJob);
        nextJob.reset();
        exporting = true;
        guard.unlock();
        const bool exported = ExportHtml(job.document, job.stylesheet, job.headText);
        guard.lock();
        exporting = false;
        if (!nextJob && !stopping) {
            QMetaObject::invokeMethod(
                qApp, [from, exported] { exportEnded(from, exported); }, Qt::QueuedConnection);
        }
    }
}

} // namespace

void StartExport(const ExportJob &job, std::function<void(bool exported)> finished)
{
    exportRunning = true;
    onFinished = std::move(finished);
    std::lock_guard<std::mutex> guard(exportLock);
    stopping = false;
    nextJob = job;
    if (!exportThread.joinable())
        exportThread = std::thread(exportLoop, life);
    jobArrived.notify_all();
}

bool ExportRunning()
{
    return exportRunning;
}

bool WaitForExport()
{
    if (!exportRunning)
        return true;
    QEventLoop loop;
    waitingLoop = &loop;
    QPointer<QProgressDialog> note;
    QTimer later;
    later.setSingleShot(true);
    QObject::connect(&later, &QTimer::timeout, [&note] {
        note = new QProgressDialog(QStringLiteral("Finishing the export of the page..."), QString(), 0, 0,
                                   mainWindow());
        note->setWindowTitle(QStringLiteral("Quilldown"));
        note->setWindowModality(Qt::WindowModal);
        note->setMinimumDuration(0);
        note->show();
    });
    later.start(300);
    // A termination signal ends this loop with the main one; the export is then
    // stopped by the quit flag and waited for at shutdown.
    while (exportRunning && !app().quit.load())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    waitingLoop = nullptr;
    delete note.data();
    return !exportRunning && !app().quit.load();
}

void StopExportThread()
{
    {
        std::lock_guard<std::mutex> guard(exportLock);
        stopping = true;
        nextJob.reset();
        jobArrived.notify_all();
    }
    if (exportThread.joinable())
        exportThread.join();
    std::lock_guard<std::mutex> guard(exportLock);
    stopping = false;
    exportRunning = false;
    onFinished = nullptr;
    ++life;
}
