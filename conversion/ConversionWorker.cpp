#include "conversion/ConversionWorker.h"

#include "app/AppState.h"
#include "app/IdlePass.h"
#include "app/PreviewHost.h"
#include "app/MainWindow.h"
#include "conversion/ConverterLocation.h"
#include "conversion/ConverterProcess.h"
#include "conversion/HtmlAdjust.h"
#include "editor/Editor.h"
#include "platform/Platform.h"
#include "settings/Paths.h"
#include "settings/Stylesheets.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace {

// Set on the main thread before the worker starts and cleared after it has ended, so
// the worker may read them freely.
QThread *workerThread = nullptr;
QObject *mainThreadContext = nullptr;   // lives on the main thread; requests are queued to it
QString previewFolder;
bool ownsPreviewFolder = false;

// Main thread only: read in requests the worker queues to the main thread.
std::function<void(bool)> progressHandler;

void ReportProgress(bool running)
{
    QMetaObject::invokeMethod(
        mainThreadContext,
        [running] {
            if (progressHandler)
                progressHandler(running);
        },
        Qt::QueuedConnection);
}

// Wakes an idle worker early: RequestConversion and shutdown.
std::mutex wakeLock;
std::condition_variable wake;

void WakeWorker()
{
    // Taking the lock orders this with the worker's check of the flags, so the wake-up
    // cannot fall between its check and its wait.
    { std::lock_guard<std::mutex> guard(wakeLock); }
    wake.notify_all();
}

void sleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Sleeps in short steps; false when the quit flag ended the wait early.
bool sleepUnlessQuitting(int ms)
{
    for (int waited = 0; waited < ms; waited += 10) {
        if (app().quit.load())
            return false;
        sleepMs(std::min(10, ms - waited));
    }
    return !app().quit.load();
}

struct EditorSnapshot {
    std::mutex lock;
    std::condition_variable ready;
    bool done = false;
    QByteArray markdown;
    QByteArray head;
};

// Both editors' text, read on the main thread. The worker waits for the answer but
// gives up when the program quits: Shutdown blocks the main thread while it waits for
// the worker, so the request would never be served then.
bool ReadEditorTexts(QByteArray *markdown, QByteArray *head)
{
    auto snapshot = std::make_shared<EditorSnapshot>();
    QMetaObject::invokeMethod(
        mainThreadContext,
        [snapshot] {
            QByteArray md, hd;
            if (MainWindow *w = app().window) {
                md = EditorText(w->markdownEditor());
                hd = EditorText(w->headEditor());
            }
            std::lock_guard<std::mutex> guard(snapshot->lock);
            snapshot->markdown = std::move(md);
            snapshot->head = std::move(hd);
            snapshot->done = true;
            snapshot->ready.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock<std::mutex> guard(snapshot->lock);
    while (!snapshot->done) {
        if (app().quit.load())
            return false;
        snapshot->ready.wait_for(guard, std::chrono::milliseconds(10));
    }
    *markdown = std::move(snapshot->markdown);
    *head = std::move(snapshot->head);
    return true;
}

void ShowOnMainThread(const QString &text)
{
    QMetaObject::invokeMethod(
        mainThreadContext,
        [text] {
            if (!app().quit.load())
                platform().messageBox(app().window, MessageIcon::Error, QStringLiteral("Quilldown"), text,
                                      MessageButtons::Ok);
        },
        Qt::QueuedConnection);
}

// Preview files are rewritten on every run and worthless after a crash: written in
// place, without the flush to disk that a document's atomic replacement costs.
bool WriteScratchFile(const QByteArray &bytes, const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const bool written = file.write(bytes) == bytes.size();
    file.close();
    return written && file.error() == QFileDevice::NoError;
}

QString FileUrl(const QString &path)
{
    // Encoded, so that a "#" or "%" in a folder name still links the file.
    return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
}

void Publish(const QString &htmlFile, int *toggle)
{
    AppState &s = app();
    s.previewReadyPath.set(htmlFile);
    s.lastPreviewFile.set(htmlFile);
    *toggle = 1 - *toggle;
    if (s.openInBrowser.exchange(0))
        platform().openUrl(QUrl::fromLocalFile(htmlFile));
    // The main loop may be resting: it has a page to show now.
    QMetaObject::invokeMethod(
        mainThreadContext,
        [] {
            KeepIdlePassAwake();
            RefreshPreviewPane();
        },
        Qt::QueuedConnection);
}

void ConvertForPreview(int *toggle)
{
    AppState &s = app();
    s.converterState = ConverterConverting;
    s.changePending = 0;
    ReportProgress(true);
    struct Ended {
        ~Ended() { ReportProgress(false); }
    } ended;

    QByteArray markdown, head;
    if (!ReadEditorTexts(&markdown, &head)) {
        s.converterState = ConverterIdle;
        return;
    }
    // Beside a saved document, relative image paths resolve.
    const QString documentPath = s.documentPath.get();
    const QString folder =
        (!documentPath.isEmpty() && markdown.contains("![")) ? FolderPart(documentPath) : previewFolder;
    const QString markdownFile = folder + QStringLiteral("_temp") + QString::number(*toggle) + QStringLiteral(".md");
    const QString headFile = HeadFileFor(markdownFile);
    const QString htmlFile = HtmlFileFor(markdownFile);
    const QString title = PageTitleFromHead(head);

    WriteScratchFile(markdown, markdownFile);
    WriteScratchFile(head, headFile);
    s.temporaryFiles.add(markdownFile);
    s.temporaryFiles.add(headFile);

    QString stylesheetRef;
    const QString stylesheet = s.currentStylesheet.get();
    if (!stylesheet.isEmpty()) {
        // Made once per name; an existing copy is never refreshed.
        const QString copy = folder + QStringLiteral("_temp") + FilePart(stylesheet);
        if (!QFileInfo::exists(copy) && QFile::copy(stylesheet, copy))
            s.temporaryFiles.add(copy);
        stylesheetRef = FileUrl(copy);
    }
    // An older page under this name must not pass for this run's output.
    QFile::remove(htmlFile);
    sleepMs(1);

    // A newer change ends this run at once: its page would be dropped anyway, and the
    // next run may start as soon as the quiet time has passed.
    const auto overtaken = [&s] { return s.changePending.load() != 0; };
    QString error;
    bool ok = RunConverter(markdownFile, htmlFile, stylesheetRef, headFile, title, &error, overtaken);
    if (!ok && !s.quit.load() && !overtaken())
        ok = WriteScratchFile(ConversionErrorPage(error), htmlFile);
    if (ok) {
        s.temporaryFiles.add(htmlFile);
        sleepMs(1);
        // A page overtaken by a newer change is dropped; the next run reuses the names.
        if (!s.changePending.load() && !s.changeSuppression.load())
            Publish(htmlFile, toggle);
    }
    sleepMs(1);
    s.converterState = ConverterIdle;
}

void ConversionWorker()
{
    AppState &s = app();
    s.workerCount.fetch_add(1);
    // Every wait also ends on the quit flag, so Shutdown never waits for a worker whose
    // settings or window never arrive.
    while (!s.settingsLoaded.load() && !s.quit.load())
        sleepMs(1);
    if (s.quit.load()) {
        s.workerCount.fetch_sub(1);
        return;
    }
    // Fixed once loaded.
    const QString pandocExe = s.settings.PandocExe;
    const std::int64_t quietTime = s.settings.UpdateMilliseconds;

    bool started;
    {
        std::lock_guard<std::timed_mutex> guard(s.converterLock);
        const QString path = ChooseConverterPath(pandocExe);
        s.converterPath.set(path);
        started = ProbeConverter(path);
        if (started)
            s.converterState = ConverterIdle;
    }
    if (!started) {
        if (sleepUnlessQuitting(1000))
            ShowOnMainThread(ConverterFailureMessage(pandocExe));
        s.converterState = ConverterFailed;
        s.workerCount.fetch_sub(1);
        return;
    }

    while (!s.mainWindowExists.load() && !s.quit.load())
        sleepMs(1);
    int toggle = 0;
    while (!s.quit.load()) {
        if (s.changePending.load()) {
            const std::int64_t now = platform().milliseconds();
            if (s.changeSuppression.load()) {
                s.changePending = 0;
            } else if (ChangeIsDue(now, s.lastChangeTime.load(), quietTime)) {
                ConvertForPreview(&toggle);
                sleepMs(10);
            } else {
                std::unique_lock<std::mutex> guard(wakeLock);
                wake.wait_for(guard, std::chrono::milliseconds(PendingWaitMs(now, s.lastChangeTime.load(), quietTime)),
                              [&s] { return s.quit.load(); });
            }
        } else {
            // Every change and request wakes the worker, so an idle one sleeps; the
            // time limit only bounds the cost of a wake-up that was somehow missed.
            std::unique_lock<std::mutex> guard(wakeLock);
            wake.wait_for(guard, std::chrono::seconds(1),
                          [&s] { return s.changePending.load() || s.quit.load(); });
        }
    }
    s.workerCount.fetch_sub(1);
}

QString escapeHtml(const QString &text)
{
    return text.toHtmlEscaped();
}

} // namespace

bool InitConversion()
{
    // A folder of this instance's own, so that two windows never share preview files.
    QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/quilldown-XXXXXX"));
    if (folder.isValid()) {
        folder.setAutoRemove(false);
        previewFolder = WithTrailingSlash(folder.path());
        ownsPreviewFolder = true;
    } else {
        previewFolder = WithTrailingSlash(QDir::tempPath());
        ownsPreviewFolder = false;
    }
    mainThreadContext = new QObject;
    workerThread = QThread::create(ConversionWorker);
    if (!workerThread)
        return false;
    workerThread->setObjectName(QStringLiteral("QuilldownWorker"));
    workerThread->start();
    return PrepareStylesheetFolder();
}

void WaitForConversionWorker()
{
    AppState &s = app();
    s.quit = 1;
    WakeWorker();
    if (workerThread) {
        while (s.workerCount.load() > 0)
            sleepMs(1);
        workerThread->wait();
        delete workerThread;
        workerThread = nullptr;
    }
    // Requests still queued for the main thread are dropped with their receiver.
    delete mainThreadContext;
    mainThreadContext = nullptr;
    if (ownsPreviewFolder) {
        // Only the files this instance made; the folder goes when that leaves it empty.
        for (const QString &path : s.temporaryFiles.paths()) {
            if (path.startsWith(previewFolder))
                QFile::remove(path);
        }
        QDir().rmdir(previewFolder);
    }
    previewFolder.clear();
    ownsPreviewFolder = false;
}

QString PreviewFolder()
{
    return previewFolder;
}

void RequestConversion()
{
    AppState &s = app();
    s.changePending = 1;
    s.lastChangeTime = -10000;
    s.changeSuppression = 0;
    WakeWorker();
}

void SetConversionProgressHandler(std::function<void(bool running)> handler)
{
    progressHandler = std::move(handler);
}

void WakeConversionWorker()
{
    WakeWorker();
}

int PendingWaitMs(std::int64_t now, std::int32_t lastChange, std::int64_t quietMilliseconds)
{
    if (lastChange == -10000)
        return 1;
    const auto elapsed = static_cast<std::int32_t>(static_cast<std::uint32_t>(now) -
                                                   static_cast<std::uint32_t>(lastChange));
    return static_cast<int>(std::clamp<std::int64_t>(quietMilliseconds - elapsed + 1, 1, 10));
}

bool ChangeIsDue(std::int64_t now, std::int32_t lastChange, std::int64_t quietMilliseconds)
{
    if (lastChange == -10000)
        return true;
    // The change time holds the clock's low 32 bits; the difference taken modulo 2^32
    // stays right after the clock passes 2^31 ms (about 25 days).
    const auto elapsed = static_cast<std::int32_t>(static_cast<std::uint32_t>(now) -
                                                   static_cast<std::uint32_t>(lastChange));
    return static_cast<std::int64_t>(elapsed) > quietMilliseconds;
}

QStringList ConverterArguments(const QString &format, const QString &htmlFile, const QString &stylesheetRef,
                               const QString &headFile, const QString &title, const QString &markdownFile)
{
    QStringList arguments{QStringLiteral("--from"), format, QStringLiteral("--to"), QStringLiteral("html"),
                          QStringLiteral("-s"),     QStringLiteral("-o"), htmlFile};
    if (!stylesheetRef.isEmpty())
        arguments << QStringLiteral("--css") << stylesheetRef;
    if (!headFile.isEmpty())
        arguments << QStringLiteral("-H") << headFile;
    arguments << QStringLiteral("--metadata") << QStringLiteral("pagetitle=") + title << markdownFile;
    return arguments;
}

bool RunConverter(const QString &markdownFile, const QString &htmlFile, const QString &stylesheetRef,
                  const QString &headFile, const QString &title, QString *errorText,
                  const std::function<bool()> &overtaken)
{
    AppState &s = app();
    auto fail = [errorText](const QString &why) {
        if (errorText)
            *errorText = why;
        return false;
    };
    while (s.converterState.load() == ConverterStarting && !s.quit.load())
        sleepMs(1);
    if (s.converterState.load() == ConverterFailed)
        return fail(QStringLiteral("Pandoc could not be initialized."));
    if (s.quit.load())
        return false;

    std::unique_lock<std::timed_mutex> guard(s.converterLock, std::defer_lock);
    while (!guard.try_lock_for(std::chrono::milliseconds(10))) {
        if (s.quit.load() || (overtaken && overtaken()))
            return false;
    }
    if (markdownFile.isEmpty() || !QFileInfo(markdownFile).isFile())
        return fail(QStringLiteral("The Markdown file %1 could not be read.").arg(markdownFile));

    // Absolute paths: a file name beginning with "-" must never be read as an option.
    const QString input = QFileInfo(markdownFile).absoluteFilePath();
    const QString output = QFileInfo(htmlFile).absoluteFilePath();
    // Pandoc reads a header file's name as a URI reference.
    const QString head = (!headFile.isEmpty() && QFileInfo::exists(headFile))
                             ? AsUriReference(QFileInfo(headFile).absoluteFilePath())
                             : QString();
    const QStringList arguments =
        ConverterArguments(s.settings.MarkdownVersion, output, stylesheetRef, head, title, input);

    const QFileInfo before(output);
    const bool existedBefore = before.exists();
    const QDateTime modifiedBefore = before.lastModified();
    const qint64 sizeBefore = before.size();

    const QString program = s.converterPath.get();
    const ProcessOutcome outcome = RunProcess(program, arguments, FolderPart(input), overtaken);
    if (outcome.stopped)
        return false;

    QString why;
    if (!outcome.started)
        why = QStringLiteral("Pandoc could not be started (%1).").arg(program);
    else if (outcome.timedOut)
        why = QStringLiteral("Pandoc did not finish within %1 seconds and was stopped.")
                  .arg(ConverterTimeLimit() / 1000.0);
    else if (outcome.crashed)
        why = QStringLiteral("Pandoc ended abnormally.");
    else if (outcome.exitCode != 0 && outcome.errorOutput.contains("Heap exhausted"))
        why = QStringLiteral("Pandoc needed more than the %1 MB of memory a conversion may take and was stopped.")
                  .arg(ConverterMemoryLimit());
    else if (outcome.exitCode != 0)
        why = QStringLiteral("Pandoc ended with exit status %1.").arg(outcome.exitCode);
    else {
        const QFileInfo after(output);
        const bool written = after.isFile() && after.size() > 0 &&
                             (!existedBefore || after.lastModified() != modifiedBefore || after.size() != sizeBefore);
        if (!written)
            why = QStringLiteral("Pandoc wrote no page.");
    }
    if (why.isEmpty())
        return true;
    const QString details = QString::fromUtf8(outcome.errorOutput).trimmed();
    return fail(details.isEmpty() ? why : why + u'\n' + details);
}

QByteArray ConversionErrorPage(const QString &errorText)
{
    // The converter's output can be long; the start says why.
    QString shown = errorText;
    if (shown.size() > 20000)
        shown = shown.left(20000) + QStringLiteral("\n...");
    const QString page = QStringLiteral("<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n"
                                        "<title>Conversion failed</title>\n</head>\n<body>\n"
                                        "<h1>Conversion failed</h1>\n<pre>") +
                         escapeHtml(shown) + QStringLiteral("</pre>\n</body>\n</html>\n");
    return page.toUtf8();
}

bool WriteTextFile(const QByteArray &bytes, const QString &path)
{
    if (path.isEmpty())
        return false;
    // A device or pipe (perhaps behind a link) is no document: replacing it would put a
    // plain file in place of the device, and writing into it could fail unseen or block.
    const QFileInfo existing(path);
    if (existing.exists() && !existing.isFile())
        return false;
    QSaveFile file(path);
    // A writable file in a folder that takes no new files is still written, in place.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        file.commit();
        return false;
    }
    return file.commit();
}

QString ReplaceExtension(const QString &path, const QString &extension)
{
    if (path.isEmpty())
        return QString();
    QString file = FilePart(path);
    const qsizetype dot = file.lastIndexOf(u'.');
    if (dot >= 0)
        file.truncate(dot);
    QString result = FolderPart(path) + file;
    if (!extension.isEmpty())
        result += u'.' + extension;
    return result;
}

QString HtmlFileFor(const QString &path)
{
    return ReplaceExtension(path, QStringLiteral("htm"));
}

QString HeadFileFor(const QString &path)
{
    return ReplaceExtension(path, QStringLiteral("head.txt"));
}
