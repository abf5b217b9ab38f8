#include "preview/PreviewReload.h"

#include "core/AppState.h"
#include "platform/Platform.h"
#include "preview/PreviewPane.h"
#include "preview/ScrollSync.h"

#include <QUrl>

namespace {

PreviewRestoreState restoreState;

// While a reloaded page has not yet been scrolled to the reader's offset the pane shows
// a picture of itself taken just before the navigation, so the new page's top never
// appears; the rest of the window goes on painting.
void suspendRedraw()
{
    PreviewRestoreState &st = restoreState;
    PreviewPane *pane = CurrentPreviewPane();
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
    if (PreviewPane *pane = CurrentPreviewPane())
        pane->releaseSnapshot();
}

void finishRestore()
{
    PreviewRestoreState &st = restoreState;
    resumeRedraw();
    st.restoreTarget = -1;
    st.restoreSent = false;
}

} // namespace

bool PreviewSnapshotShown()
{
    PreviewPane *pane = CurrentPreviewPane();
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
    PreviewPane *pane = CurrentPreviewPane();
    if (!pane)
        return;
    PreviewRestoreState &st = restoreState;

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

    if (ScrollSyncEnabled())
        SyncPreviewToEditor();
}

