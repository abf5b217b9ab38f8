#include "conversion/PageExport.h"

#include "conversion/ConverterRun.h"
#include "conversion/HtmlAdjust.h"
#include "files/DocumentFiles.h"
#include "files/SafeFiles.h"
#include "settings/Paths.h"

#include <QFile>
#include <QFileInfo>

bool ExportPage(const ExportJob &job)
{
    const QString &document = job.document;
    if (document.isEmpty())
        return false;
    const QString name = FilePart(job.stylesheet);
    if (!name.isEmpty()) {
        // An edited copy beside the document is the user's: never replaced. Anything else
        // at that name (a dangling link, a pipe) gives way to a plain copy.
        const QString copy = FolderPart(document) + name;
        if (!QFileInfo(copy).isFile())
            CopyToPlainFile(job.stylesheet, copy);
    }
    // A converter that fails after writing part of the page must not leave that part in
    // place of the last good page.
    const QString page = HtmlFileFor(document);
    const bool hadPage = QFileInfo(page).isFile();
    const QByteArray oldPage = hadPage ? ReadTextFile(page) : QByteArray();
    // The page links the copy by its name, which a browser reads as a URI reference.
    if (RunConverter(job.format, document, page, AsUriReference(name), HeadFileFor(document),
                     PageTitleFromHead(job.headText)))
        return true;
    if (hadPage) {
        if (ReadTextFile(page) != oldPage)
            WriteTextFile(oldPage, page);
    } else if (QFileInfo(page).isFile()) {
        QFile::remove(page);
    }
    return false;
}

PageExporter::~PageExporter()
{
    stop();
}

void PageExporter::start(const ExportJob &job, std::function<void(bool exported)> done)
{
    running_ = true;
    done_ = std::move(done);
    std::lock_guard<std::mutex> guard(lock_);
    stopping_ = false;
    next_ = job;
    if (!thread_.joinable())
        thread_ = std::thread([this] { loop(); });
    jobArrived_.notify_all();
}

void PageExporter::stop()
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        stopping_ = true;
        next_.reset();
        jobArrived_.notify_all();
    }
    if (thread_.joinable())
        thread_.join();
    std::lock_guard<std::mutex> guard(lock_);
    stopping_ = false;
    running_ = false;
    done_ = nullptr;
}

void PageExporter::loop()
{
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        jobArrived_.wait(guard, [this] { return next_.has_value() || stopping_; });
        if (stopping_)
            return;
        const ExportJob job = std::move(*next_);
        next_.reset();
        exporting_ = true;
        guard.unlock();
        const bool exported = ExportPage(job);
        guard.lock();
        exporting_ = false;
        // Dropped with this object when it is gone before the report is served.
        if (!next_ && !stopping_)
            QMetaObject::invokeMethod(this, [this, exported] { ended(exported); }, Qt::QueuedConnection);
    }
}

// On the main thread after an export ended: the last one of a series reports.
void PageExporter::ended(bool exported)
{
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (next_ || exporting_ || !running_)
            return;
    }
    running_ = false;
    auto done = std::move(done_);
    done_ = nullptr;
    if (done)
        done(exported);
    emit finished(exported);
}
