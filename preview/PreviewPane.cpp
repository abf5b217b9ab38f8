#include "preview/PreviewPane.h"

#include "platform/Platform.h"
#include "preview/PreviewGuard.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QVariantList>
#include <QWebEngineLoadingInfo>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <cmath>

namespace {

// How long signals that disagree with one of our scripts count as frames from before it.
constexpr int kSettleMs = 500;
// How long an answer to one of our scripts may take before it counts as lost.
constexpr int kScriptLostMs = 3000;
// How long after the user's copy key the clipboard's next change counts as that copy.
constexpr int kCopyMs = 10000;

int toPixels(double value)
{
    return static_cast<int>(std::lround(value));
}

// Reads the values our cache holds, in the isolated script world so a page cannot
// redefine what we call.
const char *kMetricsScript =
    "(function(){var r=document.documentElement,b=document.body,"
    "e=document.scrollingElement||r;"
    "var top=b&&b.scrollTop?b.scrollTop:(r?r.scrollTop:0);"
    "return [top, e?e.scrollHeight:0, e?e.clientHeight:0];})()";

} // namespace

// ---------------------------------------------------------------- PreviewPage

PreviewPage::PreviewPage(QObject *parent)
    : QWebEnginePage(parent)
{
    // The engine's own switch for local files (LocalContentCanAccessFileUrls) would also
    // stop the pictures and stylesheets beside the document; the guard instead refuses
    // every local request a script could read (requests, frames, objects, folders), the
    // engine never lets a script read a canvas (see EngineEnvironment), and pages the
    // program did not make run no scripts.
    setUrlRequestInterceptor(new LocalResourceGuard(this));
    // Web images, stylesheets and fonts show as in any browser.
    settings()->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
    // Scripts neither read nor write the clipboard (the engine still lets a click handler
    // write it: ClipboardKeeper undoes that).
    settings()->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    settings()->setAttribute(QWebEngineSettings::JavascriptCanPaste, false);
    // Remembers which link the user focused, for Enter; in the isolated world, where the
    // page's scripts cannot reach it.
    QWebEngineScript userFocus;
    userFocus.setName(QStringLiteral("quilldown-user-focus"));
    userFocus.setSourceCode(UserFocusScript());
    userFocus.setWorldId(QWebEngineScript::ApplicationWorld);
    userFocus.setInjectionPoint(QWebEngineScript::DocumentCreation);
    userFocus.setRunsOnSubFrames(false);
    scripts().insert(userFocus);
}

bool PreviewPage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame)
{
    if (!isMainFrame)
        return FrameMayLoad(url);
    // The program's own loads (converted pages, the blank page) are not links. Their
    // scripts are limited by the policy in their head; a local page the user followed a
    // link to has none, so it runs no scripts at all.
    if (type == NavigationTypeTyped) {
        const bool foreign = !foreignPage_.isEmpty() && SameNavigation(url, foreignPage_);
        if (foreign)
            foreignPage_.clear();
        settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, !foreign);
        return true;
    }
    const std::int64_t now = platform().milliseconds();
    if (!MayFollowGesture(type == NavigationTypeLinkClicked, gestureAt_, now)) {
        if (url.scheme() != QLatin1String("about"))
            emit note(BlockedByPageNote());
        return false;
    }
    // Decided once the page has said which link the user pressed: the pane then loads a
    // local page itself, or the address is handed on.
    followed_.append({url, now});
    decideFollowedLink();
    return false;
}

void PreviewPage::noteUserGesture(const QPointF *position)
{
    const unsigned id = ++gestureId_;
    gestureAt_ = platform().milliseconds();
    gestureAnswered_ = false;
    gestureLink_.clear();
    const double zoom = zoomFactor() > 0 ? zoomFactor() : 1.0;
    const QString script =
        position ? LinkQueryScript(true, position->x() / zoom, position->y() / zoom) : LinkQueryScript(false);
    QPointer<PreviewPage> self(this);
    // In the isolated world, where the page's scripts cannot change what is asked.
    runJavaScript(script, QWebEngineScript::ApplicationWorld, [self, id](const QVariant &answer) {
        if (!self || id != self->gestureId_)
            return;
        self->gestureAnswered_ = true;
        self->gestureLink_ = QUrl(answer.toString());
        self->decideFollowedLink();
    });
}

void PreviewPage::decideFollowedLink()
{
    if (!gestureAnswered_)
        return;
    const auto waiting = std::exchange(followed_, {});
    for (const auto &entry : waiting) {
        const QUrl url = entry.first;
        const auto at = entry.second;
        if (!FollowsGesture(url, at, gestureAt_, gestureLink_)) {
            emit note(BlockedByPageNote());
            continue;
        }
        // One gesture, one link: a script acting during the user's click gets nothing.
        gestureAt_ = -1;
        QString refusal;
        if (!OnPreviewNavigate(url, false, &refusal)) {
            if (!refusal.isEmpty())
                emit note(refusal);
            continue;
        }
        // Another place in the page shown keeps that page as it is.
        if (LeavesPage(url, this->url()))
            foreignPage_ = url;
        QTimer::singleShot(0, this, [this, url] { setUrl(url); });
    }
}

QWebEnginePage *PreviewPage::createWindow(WebWindowType)
{
    return nullptr;
}

void PreviewPage::javaScriptAlert(const QUrl &, const QString &) {}

bool PreviewPage::javaScriptConfirm(const QUrl &, const QString &msg)
{
    // The engine asks its leave-page question (a page's "beforeunload") through here, in
    // these words: the answer is always to leave, or the page would hold every later
    // load of ours. A page's own confirm() is answered no.
    return msg == QCoreApplication::translate("QWebEnginePage", "Are you sure you want to leave this page? Changes "
                                                                "that you made may not be saved.");
}

bool PreviewPage::javaScriptPrompt(const QUrl &, const QString &, const QString &, QString *)
{
    return false;
}

// ---------------------------------------------------------------- ClipboardKeeper

namespace {

// The text the clipboard holds, in the forms kept: the copy is taken each time the user
// reaches the preview, and another program's pictures would be slow to fetch each time.
QMimeData *copyOf(const QMimeData *data)
{
    auto *copy = new QMimeData;
    if (!data)
        return copy;
    for (const char *format : {"text/plain", "text/html", "text/uri-list"})
        if (data->hasFormat(QLatin1String(format)))
            copy->setData(QLatin1String(format), data->data(QLatin1String(format)));
    return copy;
}

} // namespace

ClipboardKeeper::ClipboardKeeper(QWidget *view)
    : QObject(view)
    , view_(view)
{
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, &ClipboardKeeper::onChanged);
}

ClipboardKeeper::~ClipboardKeeper()
{
    delete kept_;
}

void ClipboardKeeper::remember()
{
    delete kept_;
    kept_ = copyOf(QGuiApplication::clipboard()->mimeData());
}

void ClipboardKeeper::allowCopy()
{
    copyAllowedUntil_ = platform().milliseconds() + kCopyMs;
}

bool ClipboardKeeper::focusInView() const
{
    const QWidget *focus = QApplication::focusWidget();
    return focus && view_->isActiveWindow() && (focus == view_ || view_->isAncestorOf(focus));
}

void ClipboardKeeper::onChanged()
{
    if (restoring_)
        return;
    // The change the user's copy asked for, once.
    if (platform().milliseconds() <= copyAllowedUntil_) {
        copyAllowedUntil_ = -1;
        remember();
        return;
    }
    // The page can write only while it has the focus (or just had the user's click).
    if (!focusInView() || !kept_)
        return;
    // Put back once the writer is done with the clipboard.
    QTimer::singleShot(0, this, [this] {
        if (!kept_)
            return;
        restoring_ = true;
        if (kept_->formats().isEmpty())
            QGuiApplication::clipboard()->clear();
        else
            QGuiApplication::clipboard()->setMimeData(copyOf(kept_));
        restoring_ = false;
    });
}

// ---------------------------------------------------------------- PreviewPane

PreviewPane::PreviewPane(QWidget *parent)
    : QWebEngineView(parent)
    , page_(new PreviewPage(this))
    , clipboard_(new ClipboardKeeper(this))
{
    setPage(page_);
    connect(page_, &PreviewPage::note, this, &PreviewPane::note);
    connect(page_, &QWebEnginePage::linkHovered, this, [this](const QString &address) {
        emit hover(address.isEmpty() ? QString() : QUrl(address).toDisplayString());
    });
    // The page's own copy commands (its context menu) are the user's.
    for (const auto action : {QWebEnginePage::Copy, QWebEnginePage::Cut, QWebEnginePage::CopyLinkToClipboard,
                              QWebEnginePage::CopyImageToClipboard, QWebEnginePage::CopyImageUrlToClipboard,
                              QWebEnginePage::CopyMediaUrlToClipboard})
        connect(page_->action(action), &QAction::triggered, clipboard_, &ClipboardKeeper::allowCopy);
    connect(page_, &QWebEnginePage::loadingChanged, this, &PreviewPane::onLoadingChanged);
    connect(page_, &QWebEnginePage::scrollPositionChanged, this, [this](const QPointF &position) {
        emit activity();
        const int top = toPixels(position.y());
        if (settling(settleTopUntil_) && top != top_) {
            heldTop_ = top;
            return;
        }
        settleTopUntil_ = 0;
        heldTop_ = -1;
        top_ = top;
    });
    connect(page_, &QWebEnginePage::contentsSizeChanged, this, [this](const QSizeF &size) {
        emit activity();
        const int height = toPixels(size.height());
        if (settling(settleHeightUntil_) && height != contentsHeight_) {
            heldHeight_ = height;
            return;
        }
        settleHeightUntil_ = 0;
        heldHeight_ = -1;
        contentsHeight_ = height;
    });
    // The widget that draws the page (and gets the user's input) is made, and may be
    // replaced, by the view: every new child is watched.
    installEventFilter(this);
    if (QWidget *proxy = focusProxy())
        proxy->installEventFilter(this);
    setUrl(QUrl(QStringLiteral("about:blank")));
}

bool PreviewPane::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::ChildAdded:
        if (watched == this) {
            QObject *child = static_cast<QChildEvent *>(event)->child();
            if (child && child->isWidgetType())
                child->installEventFilter(this);
        }
        break;
    case QEvent::FocusIn:
        if (watched != this)
            clipboard_->remember();
        break;
    case QEvent::MouseButtonPress:
        if (watched != this && page_) {
            clipboard_->remember();
            const auto *mouse = static_cast<QMouseEvent *>(event);
            if (mouse->button() == Qt::LeftButton) {
                const QPointF position = static_cast<QWidget *>(watched)->mapTo(this, mouse->position());
                page_->noteUserGesture(&position);
            }
        }
        break;
    case QEvent::KeyPress:
        if (watched != this && page_) {
            const auto *key = static_cast<QKeyEvent *>(event);
            if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::Cut))
                clipboard_->allowCopy();
            // Enter follows a focused link; Space never does, so it counts for nothing.
            if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && !key->isAutoRepeat())
                page_->noteUserGesture(nullptr);
        }
        break;
    default:
        break;
    }
    return QWebEngineView::eventFilter(watched, event);
}

void PreviewPane::navigate(const QUrl &url)
{
    patchedBase_.clear();
    patchedPage_.clear();
    pendingUrl_ = url;
    awaitingStart_ = true;
    reissued_ = false;
    loading_ = true;
    emit activity();
    setUrl(url);
}

// Load events are matched against our own navigation only until it is seen to start:
// before that, events of other URLs are the end of an older load. Afterwards the end of
// whatever loads last ends the loading, because WebEngine does not report every start
// (a link clicked while an external "mailto:" hand-off still counts as loading starts
// nothing new, and that hand-off never reports an end).
void PreviewPane::onLoadingChanged(const QWebEngineLoadingInfo &info)
{
    emit activity();
    const bool ours = SameNavigation(info.url(), pendingUrl_);
    if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus) {
        if (awaitingStart_) {
            if (!ours)
                return;
            awaitingStart_ = false;
        }
        loading_ = true;
        newGeneration();
        return;
    }
    if (awaitingStart_ && !ours) {
        // Another page completed after we asked for ours, so ours was dropped (this
        // happens while the view is still busy with its first blank page): ask again.
        if (!reissued_ && info.status() == QWebEngineLoadingInfo::LoadSucceededStatus) {
            reissued_ = true;
            setUrl(pendingUrl_);
        }
        return;
    }
    if (awaitingStart_)
        newGeneration();
    awaitingStart_ = false;
    loading_ = false;
    loadSucceeded_ = info.status() == QWebEngineLoadingInfo::LoadSucceededStatus;
    queryMetrics();
}

// A new page: answers of scripts sent to the old one may never come, and their values
// would describe the old page anyway.
void PreviewPane::newGeneration()
{
    ++generation_;
    scriptsInFlight_ = 0;
    requestedTop_ = -1;
    settleTopUntil_ = settleHeightUntil_ = 0;
    patchWaiting_ = false;
    patchedBase_.clear();
    patchedPage_.clear();
}

bool PreviewPane::scriptsPending() const
{
    // A page busy in a script of its own answers late; past the limit an answer is taken
    // as lost, so the synchronisation never stops for good.
    if (scriptsInFlight_ > 0 && platform().milliseconds() - scriptsSentAt_ > kScriptLostMs) {
        scriptsInFlight_ = 0;
        requestedTop_ = -1;
    }
    return scriptsInFlight_ > 0;
}

void PreviewPane::resizeEvent(QResizeEvent *event)
{
    QWebEngineView::resizeEvent(event);
    if (snapshot_)
        snapshot_->setGeometry(rect());
    emit activity();
    queryMetrics();
}

int PreviewPane::scrollTop() const
{
    if (heldTop_ >= 0 && !settling(settleTopUntil_)) {
        top_ = heldTop_;
        heldTop_ = -1;
    }
    return top_;
}

int PreviewPane::scrollHeight() const
{
    if (heldHeight_ >= 0 && !settling(settleHeightUntil_)) {
        contentsHeight_ = heldHeight_;
        heldHeight_ = -1;
    }
    return contentsHeight_;
}

int PreviewPane::maxScroll() const
{
    return qMax(0, scrollHeight() - clientHeight());
}

bool PreviewPane::settling(std::int64_t until)
{
    return until != 0 && platform().milliseconds() < until;
}

void PreviewPane::queryMetrics()
{
    runMetricsScript(QString(), false);
}

void PreviewPane::scrollToOffset(int offset)
{
    requestedTop_ = qMax(0, offset);
    runMetricsScript(QStringLiteral("window.scrollTo(window.scrollX,%1);").arg(requestedTop_), true);
}

void PreviewPane::holdSnapshot()
{
    if (!snapshot_) {
        snapshot_ = new QLabel(this);
        // Clicks and the wheel reach the page beneath.
        snapshot_->setAttribute(Qt::WA_TransparentForMouseEvents);
        snapshot_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    snapshot_->hide();
    const QPixmap picture = grab();
    snapshot_->setPixmap(picture);
    snapshot_->setGeometry(rect());
    snapshot_->raise();
    snapshot_->show();
}

void PreviewPane::releaseSnapshot()
{
    if (snapshot_) {
        snapshot_->hide();
        snapshot_->setPixmap(QPixmap());
    }
}

bool PreviewPane::holdsSnapshot() const
{
    return snapshot_ && snapshot_->isVisible();
}

PreviewPane::~PreviewPane()
{
    ++generation_;
    delete page_;
    page_ = nullptr;
}

void PreviewPane::applyPatch(const QString &script, const QString &page)
{
    if (scriptsInFlight_++ == 0)
        scriptsSentAt_ = platform().milliseconds();
    patchWaiting_ = true;
    patchSentAt_ = platform().milliseconds();
    const unsigned generation = generation_;
    const QUrl base = url().adjusted(QUrl::RemoveFragment);
    QPointer<PreviewPane> self(this);
    const QString source = QStringLiteral("(function(){var applied=") + script +
                           QStringLiteral(";return [applied].concat(") + QString::fromLatin1(kMetricsScript) +
                           QStringLiteral(");})()");
    page_->runJavaScript(source, QWebEngineScript::ApplicationWorld, [self, generation, base, page](const QVariant &v) {
        if (!self)
            return;
        PreviewPane *pane = self.data();
        if (generation != pane->generation_ || pane->loading_)
            return;
        pane->patchWaiting_ = false;
        pane->scriptsInFlight_ = qMax(0, pane->scriptsInFlight_ - 1);
        if (pane->scriptsInFlight_ == 0)
            pane->requestedTop_ = -1;
        QVariantList values = v.toList();
        if (values.size() == 4 && values.at(0).toBool()) {
            pane->patchedBase_ = base;
            pane->patchedPage_ = page;
            values.removeFirst();
            pane->takeMetrics(values);
        }
        // The reload waits on the answer: a patch that failed is followed by a reload.
        emit pane->activity();
    });
}

bool PreviewPane::patchPending() const
{
    return patchWaiting_ && platform().milliseconds() - patchSentAt_ <= kScriptLostMs;
}

QString PreviewPane::shownPage() const
{
    const QUrl bare = url().adjusted(QUrl::RemoveFragment);
    if (!patchedPage_.isEmpty() && bare == patchedBase_)
        return patchedPage_;
    return bare.isLocalFile() ? bare.toLocalFile() : QString();
}

void PreviewPane::takeMetrics(const QVariantList &values)
{
    if (values.size() != 3)
        return;
    top_ = toPixels(values.at(0).toDouble());
    contentsHeight_ = toPixels(values.at(1).toDouble());
    clientHeight_ = toPixels(values.at(2).toDouble());
    heldTop_ = heldHeight_ = -1;
    settleTopUntil_ = settleHeightUntil_ = platform().milliseconds() + kSettleMs;
}

void PreviewPane::runMetricsScript(const QString &prelude, bool scrolls)
{
    if (scriptsInFlight_++ == 0)
        scriptsSentAt_ = platform().milliseconds();
    const unsigned generation = generation_;
    QPointer<PreviewPane> self(this);
    const QString source = prelude + QString::fromLatin1(kMetricsScript);
    page_->runJavaScript(source, QWebEngineScript::ApplicationWorld, [self, generation, scrolls](const QVariant &v) {
        if (!self)
            return;
        PreviewPane *pane = self.data();
        // Values from a page that has been replaced meanwhile describe nothing we show.
        if (generation != pane->generation_)
            return;
        pane->scriptsInFlight_ = qMax(0, pane->scriptsInFlight_ - 1);
        if (pane->scriptsInFlight_ == 0)
            pane->requestedTop_ = -1;
        const QVariantList values = v.toList();
        if (values.size() != 3)
            return;
        pane->takeMetrics(values);
        if (scrolls)
            emit pane->scrollApplied(pane->top_);
    });
}
