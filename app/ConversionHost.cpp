#include "app/ConversionHost.h"

#include "core/AppState.h"
#include "app/ConversionStatus.h"
#include "app/Document.h"
#include "app/IdlePass.h"
#include "app/PreviewHost.h"
#include "conversion/HtmlAdjust.h"
#include "platform/Platform.h"

#include <QFileInfo>
#include <QUrl>

ConversionHost::ConversionHost(QObject *parent) : QObject(parent)
{
    editBatch_.setSingleShot(true);
    editBatch_.setInterval(0);
    connect(&editBatch_, &QTimer::timeout, this, [this] { requestNow(app().settingsStore.UpdateMilliseconds(), false); });
    pathCheck_.setSingleShot(true);
    pathCheck_.setInterval(0);
    connect(&pathCheck_, &QTimer::timeout, this, [this] {
        if (document_ && document_->path() != requestedPath_)
            refresh();
    });
    connect(&thread_, &ConversionThread::pageReady, this, &ConversionHost::pageReady);
    connect(&thread_, &ConversionThread::progress, this, &ShowConversionProgress);
    connect(&thread_, &ConversionThread::failed, this, [this](const QString &message) {
        if (!app().quit.load())
            platform().messageBox(document_ ? document_->window() : nullptr, MessageIcon::Error,
                                  QStringLiteral("Quilldown"), message, MessageButtons::Ok);
    });
}

ConversionHost::~ConversionHost()
{
    stop();
}

bool ConversionHost::start()
{
    return thread_.start(app().settingsStore.PandocExe());
}

void ConversionHost::follow(Document *document)
{
    document_ = document;
    connect(document, &Document::edited, this, [this] {
        // A run under way for the older text stops at once; the request follows.
        thread_.overtake();
        editBatch_.start();
    });
    connect(document, &Document::replaced, this, [this] {
        // A new or opened document starts at the top of its page.
        app().freshDocument = 1;
        refresh();
    });
    connect(document, &Document::stylesheetChosen, this, [this] { refresh(); });
    connect(document, &Document::pathChanged, this, [this] { pathCheck_.start(); });
}

void ConversionHost::stop()
{
    editBatch_.stop();
    pathCheck_.stop();
    thread_.stop();
}

void ConversionHost::refresh()
{
    editBatch_.stop();
    requestNow(0, false);
}

quint64 ConversionHost::requestNow(int quietMs, bool forBrowser)
{
    if (!document_)
        return 0;
    const Document::Snapshot texts = document_->snapshot();
    ConversionRequest request;
    request.markdown = texts.markdown;
    request.head = texts.head;
    request.documentPath = document_->path();
    requestedPath_ = request.documentPath;
    request.stylesheet = document_->stylesheet();
    request.format = app().settingsStore.MarkdownVersion();
    request.pageTitle = PageTitleFromHead(texts.head);
    request.quietMs = quietMs;
    request.forBrowser = forBrowser;
    return thread_.request(request);
}

void ConversionHost::previewInBrowser()
{
    const bool current = shownId_ != 0 && shownId_ == thread_.newest() && !editBatch_.isActive();
    if (current && QFileInfo(lastPage_).isFile()) {
        platform().openUrl(QUrl::fromLocalFile(lastPage_));
        return;
    }
    editBatch_.stop();
    browserId_ = requestNow(0, true);
}

void ConversionHost::pageReady(const QString &path, quint64 id)
{
    if (id == browserId_) {
        browserId_ = 0;
        platform().openUrl(QUrl::fromLocalFile(path));
    }
    // A page of older text is never shown; the newer one is on its way.
    if (id != thread_.newest())
        return;
    shownId_ = id;
    lastPage_ = path;
    app().previewReadyPath.set(path);
    KeepIdlePassAwake();
    RefreshPreviewPane();
    emit pageShown(path);
}
