#include "preview/PreviewPane.h"

#include "core/AppState.h"
#include "app/IdlePass.h"
#include "app/MainWindow.h"
#include "files/SafeFiles.h"
#include "platform/Platform.h"
#include "preview/PreviewGuard.h"
#include "preview/ScrollSync.h"

#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QLabel>
#include <QPointer>
#include <QTimer>
#include <QVariantList>
#include <QWebEngineLoadingInfo>
#include <QWebEngineScript>
#include <QWebEngineSettings>
#include <cmath>

namespace {

// How long signals that disagree with one of our scripts count as frames from before it.
constexpr int kSettleMs = 500;
// How long an answer to one of our scripts may take before it counts as lost.
constexpr int kScriptLostMs = 3000;

PreviewRestoreState restoreState;

PreviewPane *currentPane()
{
    MainWindow *w = mainWindow();
    return w ? w->preview() : nullptr;
}

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

// While a reloaded page has not yet been scrolled to the reader's offset the pane shows
// a picture of itself taken just before the navigation, so the new page's top never
// appears; the rest of the window goes on painting.
void suspendRedraw()
{
    PreviewRestoreState &st = restoreState;
    PreviewPane *pane = currentPane();
    if (!pane || st.snapshotShown)
        return;
    st.snapshotShown = true;
    st.snapshotSince = platform().milliseconds();
    st.loadedAt = 0;
    pane->holdSnapshot();
}

void resumeRedraw()
{
    PreviewRestoreState &st = restoreState;
    if (!st.snapshotShown)
        return;
    st.snapshotShown = false;
    if (PreviewPane *pane = currentPane())
        pane->releaseSnapshot();
}

void ShowPreviewNote(const QString &text)
{
    if (MainWindow *w = mainWindow())
        w->setStatusText(text);
}

void finishRestore()
{
    PreviewRestoreState &st = restoreState;
    resumeRedraw();
    st.restoreTarget = -1;
    st.restoreSent = false;
}

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
    if (type != NavigationTypeLinkClicked || gestureAt_ < 0 || now - gestureAt_ > kGestureMs) {
        if (url.scheme() != QLatin1String("about"))
            ShowPreviewNote(BlockedByPageNote());
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
        const bool followed = gestureAt_ >= 0 && at - gestureAt_ <= kGestureMs && !gestureLink_.isEmpty() &&
                              SameNavigation(url, gestureLink_) && url.fragment() == gestureLink_.fragment();
        if (!followed) {
            ShowPreviewNote(BlockedByPageNote());
            continue;
        }
        // One gesture, one link: a script acting during the user's click gets nothing.
        gestureAt_ = -1;
        if (!OnPreviewNavigate(url))
            continue;
        // Another place in the page shown keeps that page as it is.
        if (url.adjusted(QUrl::RemoveFragment) != this->url().adjusted(QUrl::RemoveFragment))
            foreignPage_ = url;
        QTimer::singleShot(0, this, [this, url] { setUrl(url); });
    }
}

QWebEnginePage *PreviewPage::createWindow(WebWindowType)
{
    return nullptr;
}

void PreviewPage::javaScriptAlert(const QUrl &, const QString &) {}

bool PreviewPage::javaScriptConfirm(const QUrl &, const QString &)
{
    return false;
}

bool PreviewPage::javaScriptPrompt(const QUrl &, const QString &, const QString &, QString *)
{
    return false;
}

// ---------------------------------------------------------------- PreviewPane

PreviewPane::PreviewPane(QWidget *parent)
    : QWebEngineView(parent)
    , page_(new PreviewPage(this))
{
    // One pane per life of the program: its bookkeeping starts afresh with it.
    ResetPreviewState();
    ResetScrollSync();
    setPage(page_);
    connect(page_, &QWebEnginePage::loadingChanged, this, &PreviewPane::onLoadingChanged);
    connect(page_, &QWebEnginePage::scrollPositionChanged, this, [this](const QPointF &position) {
        KeepIdlePassAwake();
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
        KeepIdlePassAwake();
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
    case QEvent::MouseButtonPress:
        if (watched != this && page_) {
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
    pendingUrl_ = url;
    awaitingStart_ = true;
    reissued_ = false;
    loading_ = true;
    KeepIdlePassAwake();
    setUrl(url);
}

// Load events are matched against our own navigation only until it is seen to start:
// before that, events of other URLs are the end of an older load. Afterwards the end of
// whatever loads last ends the loading, because WebEngine does not report every start
// (a link clicked while an external "mailto:" hand-off still counts as loading starts
// nothing new, and that hand-off never reports an end).
void PreviewPane::onLoadingChanged(const QWebEngineLoadingInfo &info)
{
    KeepIdlePassAwake();
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
    KeepIdlePassAwake();
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
        pane->top_ = toPixels(values.at(0).toDouble());
        pane->contentsHeight_ = toPixels(values.at(1).toDouble());
        pane->clientHeight_ = toPixels(values.at(2).toDouble());
        pane->heldTop_ = pane->heldHeight_ = -1;
        pane->settleTopUntil_ = pane->settleHeightUntil_ = platform().milliseconds() + kSettleMs;
        if (scrolls)
            emit pane->scrollApplied(pane->top_);
    });
}

bool SameNavigation(const QUrl &a, const QUrl &b)
{
    if (a.isLocalFile() && b.isLocalFile())
        return QFileInfo(a.toLocalFile()).absoluteFilePath() == QFileInfo(b.toLocalFile()).absoluteFilePath();
    return a.adjusted(QUrl::StripTrailingSlash) == b.adjusted(QUrl::StripTrailingSlash);
}

// ---------------------------------------------------------------- navigation rules

bool OnPreviewNavigate(const QUrl &url, bool pageInitiated)
{
    const QString text = url.toString();
    // Web links go to the user's browser. Only a real web address is handed on;
    // an address that merely mentions one (a script or data URL) is just refused.
    if (text.contains(QLatin1String("http://")) || text.contains(QLatin1String("https://"))) {
        const QString scheme = url.scheme().toLower();
        if (!pageInitiated && (scheme == QLatin1String("http") || scheme == QLatin1String("https")))
            platform().openUrl(url);
        return false;
    }
    if (text.contains(QLatin1String("ftp://")) || text.contains(QLatin1String("mailto:")))
        return false;
    if (text.startsWith(QLatin1String("javascript:")))
        return false;
    if (text.startsWith(QLatin1String("about:")))
        return true;
    // File URLs are judged by the path they denote. Only regular files count: a folder
    // is neither shown nor handed on.
    const QString path = url.isLocalFile() ? url.toLocalFile() : text;
    if (!path.isEmpty() && IsRegularFile(path)) {
        if (path.contains(QLatin1String(".htm"), Qt::CaseInsensitive))
            return true;
        // The desktop's opener may run a launcher or a program: never handed on.
        if (IsLauncherOrProgram(path)) {
            ShowPreviewNote(BlockedProgramNote(path));
            return false;
        }
        if (!pageInitiated)
            platform().openUrl(QUrl::fromLocalFile(path));
        return false;
    }
    return false;
}

// ---------------------------------------------------------------- scroll values

int PreviewScrollTop()
{
    PreviewPane *pane = currentPane();
    return pane ? pane->scrollTop() : 0;
}

int PreviewMaxScroll()
{
    PreviewPane *pane = currentPane();
    return pane ? pane->maxScroll() : 0;
}

void SetPreviewScrollTop(int offset)
{
    if (PreviewPane *pane = currentPane())
        pane->scrollToOffset(offset);
}

bool PreviewIsLoading()
{
    PreviewPane *pane = currentPane();
    return pane && pane->isLoadingPage();
}

bool PreviewSnapshotShown()
{
    PreviewPane *pane = currentPane();
    return restoreState.snapshotShown && pane && pane->holdsSnapshot();
}

PreviewRestoreState &previewRestoreState()
{
    return restoreState;
}

void ResetPreviewState()
{
    restoreState = PreviewRestoreState{};
}

// ---------------------------------------------------------------- idle work

void RefreshPreview()
{
    AppState &s = app();
    PreviewPane *pane = currentPane();
    if (!pane)
        return;
    PreviewRestoreState &st = restoreState;

    // Reading and emptying the hand-over slot is one step under its lock.
    const QString ready = s.previewReadyPath.take();
    if (!ready.isEmpty()) {
        // A page overtaken by a newer change is not shown; the next one will be.
        if (s.changePending.load())
            return;
        const bool fresh = s.freshDocument != 0;
        if (fresh) {
            // A new or opened document starts at the top; a restore still pending for
            // the previous document must not land on it.
            s.freshDocument = 0;
            pane->navigate(QUrl::fromLocalFile(ready));
            finishRestore();
            return;
        }
        // While a restore is pending the pane may already show the half-loaded page at
        // the top, so the offset the reader last saw is the one still saved.
        if (st.restoreTarget < 0) {
            st.savedOffset = PreviewScrollTop();
            // At the very end: stay at the end even when the page grows.
            if (st.savedOffset > 0 && st.savedOffset == PreviewMaxScroll())
                st.savedOffset += 5000;
        }
        // A reader at the top sees the new page where it loads, at the top, so it may
        // be shown as soon as it is drawn; the offset is still set once it has loaded.
        if (st.savedOffset > 0)
            suspendRedraw();
        pane->navigate(QUrl::fromLocalFile(ready));
        st.restoreTarget = st.savedOffset;
        st.restoreSent = false;
        return;
    }

    if (st.restoreTarget >= 0) {
        const std::int64_t now = platform().milliseconds();
        if (st.snapshotShown && now - st.snapshotSince > kRestoreLimitMs) {
            finishRestore();
            return;
        }
        if (st.snapshotShown && !PreviewIsLoading()) {
            if (st.loadedAt == 0)
                st.loadedAt = now;
            else if (now - st.loadedAt > kSnapshotAfterLoadMs)
                resumeRedraw();
        }
        if (PreviewIsLoading() || pane->scriptsPending())
            return;
        if (!st.restoreSent) {
            SetPreviewScrollTop(st.savedOffset);
            st.restoreSent = true;
            return;
        }
        // The page has taken the offset: only now may the window show it.
        finishRestore();
        return;
    }

    if (s.settings.SyncScroll != 0)
        SyncPreviewToEditor();
}

