#pragma once
// The preview pane: a web view that shows the converted page, keeps its scroll values
// at hand and decides which navigations it allows (by the rules in NavigationRules.h).

#include "preview/NavigationRules.h"

#include <QPointF>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <cstdint>

class QLabel;
class QMimeData;
class QWebEngineLoadingInfo;

// Keeps the clipboard from a page's writes: while the focus is in `view`, only the user's
// own copy (allowCopy: a copy key, the page's copy actions) may change it; anything else
// written there meanwhile is replaced by the text it held before (remember).
class ClipboardKeeper : public QObject {
    Q_OBJECT
public:
    explicit ClipboardKeeper(QWidget *view);
    ~ClipboardKeeper() override;
    // Takes a copy of what the clipboard holds now: done as the user reaches the view.
    void remember();
    // The user asked to copy: the clipboard's next change, within a few seconds, is theirs.
    void allowCopy();

private:
    void onChanged();
    bool focusInView() const;

    QWidget *view_;
    QMimeData *kept_ = nullptr;       // owned; null: nothing kept yet
    std::int64_t copyAllowedUntil_ = -1;
    bool restoring_ = false;
};

// A page in silent mode: no script dialogs, no new windows, no leave-page question, no
// writing to the clipboard by itself. Its documents cannot read local files, and local
// resources that are not regular files are refused. The program's own loads are always
// allowed; any other navigation of the pane must follow the user's click on a link drawn
// visibly there, or Enter at a visible link the user focused, within a second, and is
// then asked of OnPreviewNavigate.
class PreviewPage : public QWebEnginePage {
    Q_OBJECT
public:
    explicit PreviewPage(QObject *parent = nullptr);

    // The user pressed the left mouse button at `position` (view coordinates), or Enter
    // when `position` is null: the page is asked which link is drawn there, or focused.
    void noteUserGesture(const QPointF *position);

signals:
    // A navigation was refused in a way the reader should hear of.
    void note(const QString &text);

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override;
    QWebEnginePage *createWindow(WebWindowType type) override;
    void javaScriptAlert(const QUrl &securityOrigin, const QString &msg) override;
    bool javaScriptConfirm(const QUrl &securityOrigin, const QString &msg) override;
    bool javaScriptPrompt(const QUrl &securityOrigin, const QString &msg, const QString &defaultValue,
                          QString *result) override;

private:
    void decideFollowedLink();

    unsigned gestureId_ = 0;
    std::int64_t gestureAt_ = -1;   // -1: no gesture that may still lead anywhere
    bool gestureAnswered_ = false;
    QUrl gestureLink_;              // the link at the gesture, as the page answered
    QList<QPair<QUrl, std::int64_t>> followed_;   // navigations waiting for that answer
    QUrl foreignPage_;              // a local page the user followed a link to, loading
};

// The view keeps the latest scroll offset and sizes that WebEngine reported, because
// WebEngine only answers asynchronously. Where a value comes from the scroll and size
// signals it describes the last frame the renderer delivered, so it may lag one frame
// behind the page; values returned by our own scripts are exact at the time the script
// ran. The lag is safe for the callers: a reload remembers the offset the reader last saw,
// and the synchronisation only compares values once our own scrolling has settled.
class PreviewPane : public QWebEngineView {
    Q_OBJECT
public:
    explicit PreviewPane(QWidget *parent = nullptr);
    // Deletes the page while this object is whole: the page answers its pending script
    // callbacks as it goes, and they must not see a half-destroyed pane.
    ~PreviewPane() override;
    PreviewPage *previewPage() const { return page_; }

    // Starts loading `url` and counts as loading from this moment, not from the
    // asynchronous load-start signal, so a restore can never hit the old page early.
    void navigate(const QUrl &url);
    bool isLoadingPage() const { return loading_; }

    int scrollTop() const;
    int scrollHeight() const;
    int clientHeight() const { return clientHeight_ > 0 ? clientHeight_ : height(); }
    int maxScroll() const;

    // Scrolls the page to `offset` (clamped by the page) with a script; the cached values
    // follow when the script has run.
    void scrollToOffset(int offset);
    // The offset the page is at, or is being moved to by a script still running.
    int intendedTop() const { return scriptsPending() && requestedTop_ >= 0 ? requestedTop_ : scrollTop(); }
    // True while one of our scripts has not answered yet.
    bool scriptsPending() const;

    // Covers the pane with a picture of what it shows now, until releaseSnapshot(): a
    // reload then never shows its page before it is scrolled, and only the pane waits.
    void holdSnapshot();
    void releaseSnapshot();
    bool holdsSnapshot() const;

    // Runs a page patch (PatchScript in PagePatch.h) in our own world. Once it has
    // answered that it applied, the pane shows `page`, though its address stays the one
    // it loaded; a patch that did not apply changes nothing.
    void applyPatch(const QString &script, const QString &page);
    // True until the patch sent last has answered (or counts as lost).
    bool patchPending() const;
    // The local page the pane shows: the page it loaded, or the page a patch made of it;
    // "" when it shows no local page.
    QString shownPage() const;
    // Whether the last load of a page ended with the page shown (not an error page).
    bool lastLoadSucceeded() const { return loadSucceeded_; }

signals:
    // A scroll script of ours has been applied by the page; `top` is the offset now.
    void scrollApplied(int top);
    // Something happened that may give the preview work: a scroll, a size change, a
    // page loading or ready.
    void activity();
    // A note for the reader (a refused navigation).
    void note(const QString &text);
    // The address of the link under the pointer or focused, for the status bar while it
    // lasts; "" when there is none any more (the status bar then shows what it did before).
    void hover(const QString &address);

protected:
    void resizeEvent(QResizeEvent *event) override;
    // Notes the user's presses and Enter in the widget that draws the page.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onLoadingChanged(const QWebEngineLoadingInfo &info);
    void queryMetrics();
    void runMetricsScript(const QString &prelude, bool scrolls);
    void takeMetrics(const QVariantList &values);
    static bool settling(std::int64_t until);
    void newGeneration();

    PreviewPage *page_;
    ClipboardKeeper *clipboard_;
    QLabel *snapshot_ = nullptr;
    bool loading_ = false;
    QUrl pendingUrl_;
    bool awaitingStart_ = false;
    bool reissued_ = false;
    mutable int top_ = 0;
    mutable int contentsHeight_ = 0;
    int clientHeight_ = 0;
    mutable int scriptsInFlight_ = 0;
    mutable int requestedTop_ = -1;
    std::int64_t scriptsSentAt_ = 0;
    unsigned generation_ = 0;
    bool loadSucceeded_ = false;
    // A patch turned the page at patchedBase_ into patchedPage_; both empty otherwise.
    QUrl patchedBase_;
    QString patchedPage_;
    bool patchWaiting_ = false;
    std::int64_t patchSentAt_ = 0;
    // After a script answered, signals that disagree with its values are frames from
    // before it: they are held back until a signal agrees or the time is up. A value
    // still held then was a real change (the reader scrolled on) and is taken.
    std::int64_t settleTopUntil_ = 0;
    std::int64_t settleHeightUntil_ = 0;
    mutable int heldTop_ = -1;
    mutable int heldHeight_ = -1;
};
