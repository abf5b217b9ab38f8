#include "conversion/ConversionWorker.h"

#include "core/AppState.h"
#include "conversion/ConverterLocation.h"
#include "conversion/ConverterRun.h"
#include "conversion/HtmlAdjust.h"
#include "conversion/PreviewTemplate.h"
#include "files/DocumentFiles.h"
#include "files/SafeFiles.h"
#include "platform/Platform.h"
#include "settings/Paths.h"
#include "settings/Stylesheets.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include <sys/stat.h>

namespace {

// Set on the main thread before the worker starts and cleared after it has ended, so
// the worker may read them freely.
QThread *workerThread = nullptr;
QObject *mainThreadContext = nullptr;   // lives on the main thread; requests are queued to it
QString previewFolder;
bool ownsPreviewFolder = false;
QString pageTemplate;   // the preview's page template, in the preview folder

// Main thread only: read in requests the worker queues to the main thread.
ConversionHooks hooks;

void ReportProgress(bool running)
{
    QMetaObject::invokeMethod(
        mainThreadContext,
        [running] {
            if (hooks.progress)
                hooks.progress(running);
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
            QByteArray md = hooks.readMarkdown ? hooks.readMarkdown() : QByteArray();
            QByteArray hd = hooks.readHead ? hooks.readHead() : QByteArray();
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
            if (!app().quit.load() && hooks.showError)
                hooks.showError(text);
        },
        Qt::QueuedConnection);
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
    // Shown from the main thread.
    QMetaObject::invokeMethod(
        mainThreadContext,
        [] {
            if (hooks.pageReady)
                hooks.pageReady();
        },
        Qt::QueuedConnection);
}

// The names one preview run writes in `folder`.
struct ScratchSet {
    QString markdownFile, headFile, htmlFile, stylesheetCopy;
};

ScratchSet ScratchNames(const QString &folder, int toggle, const QString &stylesheet)
{
    ScratchSet set;
    set.markdownFile = folder + QStringLiteral("_temp") + QString::number(toggle) + QStringLiteral(".md");
    set.headFile = HeadFileFor(set.markdownFile);
    set.htmlFile = HtmlFileFor(set.markdownFile);
    if (!stylesheet.isEmpty())
        set.stylesheetCopy = folder + QStringLiteral("_temp") + FilePart(stylesheet);
    return set;
}

// Whether the document, its head file, its exported page or its stylesheet copy has one
// of the names preview runs write beside it (a document named "_temp0.md"): the preview
// must never write over the user's files, nor remove them at exit.
bool DocumentUsesScratchNames(const QString &document, const QString &stylesheet)
{
    const QString folder = FolderPart(document);
    QStringList ours;
    for (int toggle = 0; toggle < 2; ++toggle) {
        const ScratchSet set = ScratchNames(folder, toggle, stylesheet);
        ours << set.markdownFile << set.headFile << set.htmlFile << set.stylesheetCopy;
    }
    QStringList theirs{document, HeadFileFor(document), HtmlFileFor(document)};
    if (!stylesheet.isEmpty())
        theirs << folder + FilePart(stylesheet);
    // A document that is a link to one of those names counts as that name.
    const QString real = QFileInfo(document).canonicalFilePath();
    if (!real.isEmpty())
        theirs << real << HeadFileFor(real) << HtmlFileFor(real);
    for (const QString &path : std::as_const(theirs)) {
        const QString absolute = QFileInfo(path).absoluteFilePath();
        for (const QString &name : std::as_const(ours)) {
            if (!name.isEmpty() && (QFileInfo(name).absoluteFilePath() == absolute ||
                                    QFileInfo(name).canonicalFilePath() == absolute))
                return true;
        }
    }
    return false;
}

void Made(const QString &path)
{
    app().temporaryFiles.add(path);
    RememberMadeFile(path);
}

// Writes the run's input files in `folder` as plain files. False when the folder cannot
// take them; what was written is then left for the next run to reuse.
bool WriteScratchFiles(const ScratchSet &set, const QByteArray &markdown, const QByteArray &head,
                       const QString &stylesheet)
{
    if (!WritePlainFile(markdown, set.markdownFile))
        return false;
    Made(set.markdownFile);
    if (!WritePlainFile(head, set.headFile))
        return false;
    Made(set.headFile);
    // An older page under this name must not pass for this run's output; a folder in
    // its place would take no page at all.
    QFile::remove(set.htmlFile);
    if (QFileInfo(set.htmlFile).isDir())
        return false;
    if (!set.stylesheetCopy.isEmpty()) {
        // Made once per name; an existing plain copy is never refreshed.
        struct stat info;
        const bool plain = ::lstat(QFile::encodeName(set.stylesheetCopy).constData(), &info) == 0 &&
                           S_ISREG(info.st_mode) && info.st_nlink == 1;
        if (!plain && CopyToPlainFile(stylesheet, set.stylesheetCopy))
            Made(set.stylesheetCopy);
    }
    return true;
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
    const QString documentPath = s.documentPath.get();
    const QString title = PageTitleFromHead(head);
    const QString stylesheet = IsRegularFile(s.currentStylesheet.get()) ? s.currentStylesheet.get() : QString();
    // Only the head fragment's own scripts run in the preview, with a new nonce each run,
    // under the policy our own template puts before anything of the document's.
    const QByteArray nonce = NewScriptNonce();
    const QByteArray previewHead = WithScriptNonces(head, nonce);
    if (pageTemplate.isEmpty() || !IsRegularFile(pageTemplate))
        pageTemplate = WritePreviewTemplate(previewFolder);

    // Beside a saved document, relative image paths resolve. Where the document's folder
    // cannot take the files, or its own names are ours, the private folder serves.
    ScratchSet set;
    bool written = false;
    if (!documentPath.isEmpty() && markdown.contains("![") && !DocumentUsesScratchNames(documentPath, stylesheet)) {
        set = ScratchNames(FolderPart(documentPath), *toggle, stylesheet);
        written = WriteScratchFiles(set, markdown, previewHead, stylesheet);
    }
    if (!written) {
        set = ScratchNames(previewFolder, *toggle, stylesheet);
        WriteScratchFiles(set, markdown, previewHead, stylesheet);
    }
    const QString stylesheetRef = set.stylesheetCopy.isEmpty() ? QString() : FileUrl(set.stylesheetCopy);
    sleepMs(1);

    // A newer change ends this run at once: its page would be dropped anyway, and the
    // next run may start as soon as the quiet time has passed.
    const auto overtaken = [&s] { return s.changePending.load() != 0; };
    QString htmlFile = set.htmlFile;
    QString error;
    bool ok = false;
    if (pageTemplate.isEmpty())
        error = QStringLiteral("The preview's page template could not be written to %1.").arg(previewFolder);
    else
        ok = RunConverter(set.markdownFile, htmlFile, stylesheetRef, set.headFile, title, &error, overtaken,
                          PreviewTemplateArguments(pageTemplate, PreviewPolicy(nonce, head)));
    if (!ok && !s.quit.load() && !overtaken()) {
        ok = WritePlainFile(ConversionErrorPage(error), htmlFile);
        if (!ok && !htmlFile.startsWith(previewFolder)) {
            htmlFile = ScratchNames(previewFolder, *toggle, QString()).htmlFile;
            ok = WritePlainFile(ConversionErrorPage(error), htmlFile);
        }
    }
    if (ok) {
        Made(htmlFile);
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

} // namespace

bool InitConversion(ConversionHooks conversionHooks)
{
    hooks = std::move(conversionHooks);
    // A folder of this instance's own, so that two windows never share preview files.
    QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/quilldown-XXXXXX"));
    if (folder.isValid()) {
        folder.setAutoRemove(false);
        previewFolder = WithTrailingSlash(folder.path());
        ownsPreviewFolder = true;
        pageTemplate = WritePreviewTemplate(previewFolder);
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
    return true;
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
    hooks = ConversionHooks();
    // Files beside documents stay removable only while they are still the very files the
    // worker made and belong to no open document: a document saved under a preview name
    // is the user's.
    const QString document = s.documentPath.get();
    const QStringList made = s.temporaryFiles.paths();
    s.temporaryFiles.clear();
    for (const QString &path : made) {
        if (IsFileWeMade(path) && path != document && path != HeadFileFor(document) && path != HtmlFileFor(document))
            s.temporaryFiles.add(path);
    }
    ForgetMadeFiles();
    if (!pageTemplate.isEmpty())
        QFile::remove(pageTemplate);
    pageTemplate.clear();
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
