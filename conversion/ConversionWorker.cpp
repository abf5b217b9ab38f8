#include "conversion/ConversionWorker.h"

#include "core/AppState.h"
#include "conversion/ConverterLocation.h"
#include "conversion/ConverterRun.h"
#include "conversion/HtmlAdjust.h"
#include "conversion/PreviewTemplate.h"
#include "files/DocumentFiles.h"
#include "files/SafeFiles.h"
#include "settings/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <sys/stat.h>

namespace {

QString FileUrl(const QString &path)
{
    // Encoded, so that a "#" or "%" in a folder name still links the file.
    return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
}

void remember(MadeFiles *made, const QString &path)
{
    made->insert(path);
    RememberMadeFile(path);
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

// Writes the run's input files as plain files. False when they cannot be written.
bool WriteScratchFiles(MadeFiles *made, const ScratchSet &set, const QByteArray &markdown, const QByteArray &head,
                       const QString &stylesheet)
{
    if (!WritePlainFile(markdown, set.markdownFile))
        return false;
    remember(made, set.markdownFile);
    if (!WritePlainFile(head, set.headFile))
        return false;
    remember(made, set.headFile);
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
            remember(made, set.stylesheetCopy);
    }
    return true;
}


} // namespace

// ---------------------------------------------------------------- ConversionWorker

ConversionWorker::ConversionWorker(QString pandocExe, QString previewFolder, MadeFiles *made)
    : pandocExe_(std::move(pandocExe)), previewFolder_(std::move(previewFolder)), made_(made)
{
}

void ConversionWorker::start()
{
    quiet_ = new QTimer(this);
    quiet_->setSingleShot(true);
    // Never early: a coarse timer may fire 5% before its time.
    quiet_->setTimerType(Qt::PreciseTimer);
    connect(quiet_, &QTimer::timeout, this, &ConversionWorker::runPending);
    usable_ = LocateConverter(pandocExe_);
    // Told a moment later, once the window is up; never once the program is ending.
    if (!usable_)
        QTimer::singleShot(1000, this, [this] {
            if (!stopping_.load() && !app().quit.load())
                emit failed(ConverterFailureMessage(pandocExe_));
        });
}

void ConversionWorker::take(const ConversionRequest &request)
{
    if (!usable_ || stopping_.load())
        return;
    pending_ = request;
    if (request.forBrowser || request.quietMs <= 0) {
        quiet_->stop();
        runPending();
    } else {
        quiet_->start(request.quietMs);
    }
}

bool ConversionWorker::overtaken(const ConversionRequest &request) const
{
    return stopping_.load() || (!request.forBrowser && newest_.load() > request.id);
}

void ConversionWorker::runPending()
{
    if (!pending_)
        return;
    const ConversionRequest request = std::move(*pending_);
    pending_.reset();
    if (overtaken(request))
        return;
    AppState &s = app();
    s.converterState = ConverterConverting;
    emit progress(true);

    const QString stylesheet = IsRegularFile(request.stylesheet) ? request.stylesheet : QString();
    // Only the head fragment's own scripts run in the preview, with a new nonce each run,
    // under the policy our own template puts before anything of the document's.
    const QByteArray nonce = NewScriptNonce();
    const QByteArray previewHead = WithScriptNonces(request.head, nonce);
    if (pageTemplate_.isEmpty() || !IsRegularFile(pageTemplate_)) {
        pageTemplate_ = WritePreviewTemplate(previewFolder_);
        if (!pageTemplate_.isEmpty())
            remember(made_, pageTemplate_);
    }
    // Every file of the run lives in this instance's own folder: nothing is written beside
    // the document. Its relative addresses resolve against its folder through the page's base.
    const ScratchSet set = ScratchNames(previewFolder_, toggle_, stylesheet);
    const bool written = WriteScratchFiles(made_, set, request.markdown, previewHead, stylesheet);
    const QString base = request.documentPath.isEmpty() ? QString() : FileUrl(FolderPart(request.documentPath));
    const QString stylesheetRef = set.stylesheetCopy.isEmpty() ? QString() : FileUrl(set.stylesheetCopy);

    // A newer request ends this run at once: its page would be dropped anyway.
    const auto isOvertaken = [this, &request] { return overtaken(request); };
    const QString htmlFile = set.htmlFile;
    QString error;
    bool ok = false;
    if (pageTemplate_.isEmpty() || !written)
        error = QStringLiteral("The preview's files could not be written to %1.").arg(previewFolder_);
    else
        ok = RunConverter(request.format, set.markdownFile, htmlFile, stylesheetRef, set.headFile, request.pageTitle,
                          &error, isOvertaken,
                          PreviewTemplateArguments(pageTemplate_, PreviewPolicy(nonce, request.head), base));
    if (!ok && !s.quit.load() && !isOvertaken())
        ok = WritePlainFile(ConversionErrorPage(error), htmlFile);
    if (ok) {
        remember(made_, htmlFile);
        // An overtaken page is dropped; the next run reuses its names.
        if (!isOvertaken()) {
            toggle_ = 1 - toggle_;
            emit pageReady(htmlFile, request.id);
        }
    }
    s.converterState = ConverterIdle;
    emit progress(false);
}

// ---------------------------------------------------------------- ConversionThread

ConversionThread::ConversionThread(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<ConversionRequest>();
    // A folder of this instance's own, so that two windows never share preview files.
    QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/quilldown-XXXXXX"));
    if (folder.isValid()) {
        folder.setAutoRemove(false);
        previewFolder_ = WithTrailingSlash(folder.path());
        ownsPreviewFolder_ = true;
    } else {
        previewFolder_ = WithTrailingSlash(QDir::tempPath());
    }
}

ConversionThread::~ConversionThread()
{
    stop();
}

bool ConversionThread::start(const QString &pandocExe)
{
    thread_ = new QThread;
    thread_->setObjectName(QStringLiteral("QuilldownWorker"));
    worker_ = new ConversionWorker(pandocExe, previewFolder_, &made_);
    worker_->moveToThread(thread_);
    connect(thread_, &QThread::started, worker_, &ConversionWorker::start);
    // Deleted on its own thread once that ends, with its timers.
    connect(thread_, &QThread::finished, worker_, &QObject::deleteLater);
    connect(worker_, &ConversionWorker::pageReady, this, &ConversionThread::pageReady);
    connect(worker_, &ConversionWorker::failed, this, &ConversionThread::failed);
    connect(worker_, &ConversionWorker::progress, this, &ConversionThread::progress);
    thread_->start();
    return thread_->isRunning();
}

void ConversionThread::overtake()
{
    if (worker_)
        worker_->supersede(++newest_);
}

quint64 ConversionThread::request(ConversionRequest request)
{
    request.id = ++newest_;
    if (worker_) {
        worker_->supersede(request.id);
        QMetaObject::invokeMethod(worker_, "take", Qt::QueuedConnection, Q_ARG(ConversionRequest, request));
    }
    return request.id;
}

void ConversionThread::stop()
{
    if (thread_) {
        worker_->stop();
        thread_->quit();
        thread_->wait();
        delete thread_;
        thread_ = nullptr;
        worker_ = nullptr;
    }
    // Only the very files the worker made: one replaced meanwhile is someone else's.
    const MadeFiles mine = std::exchange(made_, MadeFiles());
    for (const QString &path : mine) {
        if (IsFileWeMade(path))
            QFile::remove(path);
    }
    ForgetMadeFiles();
    // The folder goes when that leaves it empty.
    if (ownsPreviewFolder_)
        QDir().rmdir(previewFolder_);
    ownsPreviewFolder_ = false;
}
