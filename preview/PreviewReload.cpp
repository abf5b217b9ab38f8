#include "preview/PreviewReload.h"

#include "core/AppState.h"
#include "files/SafeFiles.h"
#include "platform/Platform.h"
#include "preview/PreviewPane.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace {

// The page's bytes; empty when it is no regular file, is too large or cannot be read.
QByteArray readPage(const QString &path)
{
    if (!IsRegularFile(path))
        return QByteArray();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > kLargestPatchedPage)
        return QByteArray();
    return file.readAll();
}

} // namespace

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

// A page loaded by the pane counts as shown with the bytes read for it only if the file
// still holds them once the load is over: it was read by the engine in between.
void PreviewReload::confirmShownPage()
{
    PreviewPane *pane = pane_.data();
    if (shown_.confirmed || shown_.path.isEmpty() || pane->isLoadingPage())
        return;
    shown_.confirmed = pane->lastLoadSucceeded() && pane->shownPage() == shown_.path &&
                       readPage(shown_.path) == shown_.cut.html;
    if (!shown_.confirmed)
        shown_ = {};
}

bool PreviewReload::patchTo(const QString &path, PageCut &next)
{
    PreviewPane *pane = pane_.data();
    if (!shown_.confirmed || pane->shownPage() != shown_.path || pane->isLoadingPage() || state_.restoreTarget >= 0)
        return false;
    // Relative addresses in the page resolve against the address the pane loaded.
    if (QFileInfo(path).absolutePath() != QFileInfo(shown_.path).absolutePath())
        return false;
    const BlockPatch patch = PlanPatch(shown_.cut, next);
    if (!patch.ok)
        return false;
    pane->applyPatch(PatchScript(patch), path);
    patching_ = path;
    patchingCut_ = std::move(next);
    return true;
}

void PreviewReload::reload(const QString &path, PageCut next)
{
    PreviewPane *pane = pane_.data();
    PreviewRestoreState &st = state_;
    shown_ = {};
    if (next.ok)
        shown_ = {path, std::move(next), false};
    ++loads_;
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
    pane->navigate(QUrl::fromLocalFile(path));
    st.restoreTarget = st.savedOffset;
    st.restoreSent = false;
}

void PreviewReload::showPage(const QString &ready)
{
    AppState &s = app();
    PreviewPane *pane = pane_.data();
    PageCut next = CutPage(readPage(ready));
    if (s.freshDocument != 0) {
        // A new or opened document starts at the top; a restore still pending for
        // the previous document must not land on it.
        s.freshDocument = 0;
        shown_ = {};
        if (next.ok)
            shown_ = {ready, std::move(next), false};
        ++loads_;
        pane->navigate(QUrl::fromLocalFile(ready));
        finishRestore();
        return;
    }
    if (!patchTo(ready, next))
        reload(ready, std::move(next));
}

bool PreviewReload::step()
{
    AppState &s = app();
    PreviewPane *pane = pane_.data();
    if (!pane)
        return false;
    PreviewRestoreState &st = state_;
    confirmShownPage();

    if (!patching_.isEmpty()) {
        // Pages published meanwhile wait for the patch's answer; the newest is kept.
        const QString meanwhile = s.previewReadyPath.take();
        if (!meanwhile.isEmpty())
            waiting_ = meanwhile;
        if (pane->patchPending())
            return true;
        const QString page = std::exchange(patching_, QString());
        PageCut cut = std::exchange(patchingCut_, PageCut());
        if (pane->shownPage() == page) {
            ++patches_;
            shown_ = {page, std::move(cut), true};
        } else if (waiting_.isEmpty()) {
            // The patch did not apply, and the page shown is as it was: the new page is
            // loaded instead, unless a newer one is waiting.
            reload(page, std::move(cut));
        }
        return true;
    }

    // Reading and emptying the hand-over slot is one step under its lock.
    QString ready = s.previewReadyPath.take();
    if (ready.isEmpty())
        ready = std::exchange(waiting_, QString());
    else
        waiting_.clear();
    // Only the page of the newest text is handed over: an overtaken one never arrives.
    if (!ready.isEmpty()) {
        showPage(ready);
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
