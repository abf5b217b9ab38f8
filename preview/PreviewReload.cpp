#include "preview/PreviewReload.h"

#include "core/AppState.h"
#include "platform/Platform.h"
#include "preview/PreviewPane.h"

#include <QUrl>

PreviewReload::PreviewReload(PreviewPane *pane)
    : pane_(pane)
{
}

// While a reloaded page has not yet been scrolled to the reader's offset the pane shows
// a picture of itself taken just before the navigation, so the new page's top never
// appears; the rest of the window goes on painting.
void PreviewReload::suspendRedraw()
{
    PreviewRestoreState &st = state_;
    if (!pane_ || st.snapshotShown)
        return;
    st.snapshotShown = true;
    st.snapshotSince = platform().milliseconds();
    st.loadedAt = 0;
    pane_->holdSnapshot();
}

void PreviewReload::resumeRedraw()
{
    PreviewRestoreState &st = state_;
    if (!st.snapshotShown)
        return;
    st.snapshotShown = false;
    if (pane_)
        pane_->releaseSnapshot();
}

void PreviewReload::finishRestore()
{
    resumeRedraw();
    state_.restoreTarget = -1;
    state_.restoreSent = false;
}

bool PreviewReload::snapshotShown() const
{
    return state_.snapshotShown && pane_ && pane_->holdsSnapshot();
}

bool PreviewReload::step()
{
    AppState &s = app();
    PreviewPane *pane = pane_.data();
    if (!pane)
        return false;
    PreviewRestoreState &st = state_;

    // Reading and emptying the hand-over slot is one step under its lock.
    const QString ready = s.previewReadyPath.take();
    // Only the page of the newest text is handed over: an overtaken one never arrives.
    if (!ready.isEmpty()) {
        const bool fresh = s.freshDocument != 0;
        if (fresh) {
            // A new or opened document starts at the top; a restore still pending for
            // the previous document must not land on it.
            s.freshDocument = 0;
            pane->navigate(QUrl::fromLocalFile(ready));
            finishRestore();
            return true;
        }
        // While a restore is pending the pane may already show the half-loaded page at
        // the top, so the offset the reader last saw is the one still saved.
        if (st.restoreTarget < 0) {
            st.savedOffset = pane->scrollTop();
            // At the very end: stay at the end even when the page grows.
            if (st.savedOffset > 0 && st.savedOffset == pane->maxScroll())
                st.savedOffset += 5000;
        }
        // A reader at the top sees the new page where it loads, at the top, so it may
        // be shown as soon as it is drawn; the offset is still set once it has loaded.
        if (st.savedOffset > 0)
            suspendRedraw();
        pane->navigate(QUrl::fromLocalFile(ready));
        st.restoreTarget = st.savedOffset;
        st.restoreSent = false;
        return true;
    }

    if (st.restoreTarget < 0)
        return false;
    const std::int64_t now = platform().milliseconds();
    if (st.snapshotShown && now - st.snapshotSince > kRestoreLimitMs) {
        finishRestore();
        return true;
    }
    if (st.snapshotShown && !pane->isLoadingPage()) {
        if (st.loadedAt == 0)
            st.loadedAt = now;
        else if (now - st.loadedAt > kSnapshotAfterLoadMs)
            resumeRedraw();
    }
    if (pane->isLoadingPage() || pane->scriptsPending())
        return true;
    if (!st.restoreSent) {
        pane->scrollToOffset(st.savedOffset);
        st.restoreSent = true;
        return true;
    }
    // The page has taken the offset: only now may the window show it.
    finishRestore();
    return true;
}
