#pragma once
// Showing a newly published page at the offset the reader left the old one. A page that
// differs from the shown one only in its body's blocks is patched into the shown page
// (PagePatch.h); any other page is loaded, and the pane keeps a picture of the old page
// until the new one has been scrolled there.

#include "preview/PagePatch.h"

#include <QPointer>
#include <QString>
#include <cstdint>

class PreviewPane;

// Reload bookkeeping of the main loop (main thread only).
struct PreviewRestoreState {
    int restoreTarget = -1;      // -1: no restore pending
    int savedOffset = -1;
    bool restoreSent = false;    // the scroll script of the pending restore has been sent
    bool snapshotShown = false;  // the pane shows its picture from before the navigation
    std::int64_t snapshotSince = 0;
    std::int64_t loadedAt = 0;   // when the new page had loaded, 0 before
};

// A restore that never completes (a page whose loading hangs) gives up after this long,
// so the pane never stays frozen.
inline constexpr int kRestoreLimitMs = 15000;
// A page that has loaded but cannot be scrolled yet (busy in a script of its own) is
// shown after this long rather than hidden behind the old picture.
inline constexpr int kSnapshotAfterLoadMs = 1000;
// Larger pages are always loaded: holding two of them for comparison would cost more
// memory than a reload costs time.
inline constexpr qsizetype kLargestPatchedPage = 64 * 1024 * 1024;

// Reload and restore for one pane; a pane that has gone leaves it doing nothing.
class PreviewReload {
public:
    explicit PreviewReload(PreviewPane *pane);

    // Idle work of the main loop: loads a finished page or takes a pending restore one
    // step further. Returns false when there was nothing of that kind to do.
    bool step();

    const PreviewRestoreState &state() const { return state_; }
    bool restorePending() const { return state_.restoreTarget >= 0; }
    // A patch has been sent to the pane and its outcome not yet taken, or a page waits
    // for that outcome.
    bool patchPending() const { return !patching_.isEmpty() || !waiting_.isEmpty(); }
    // Whether the pane shows its picture from before a reload.
    bool snapshotShown() const;
    // How many pages were shown by a patch, and by a load.
    int patchCount() const { return patches_; }
    int loadCount() const { return loads_; }

private:
    void suspendRedraw();
    void resumeRedraw();
    void finishRestore();
    void showPage(const QString &path);
    bool patchTo(const QString &path, PageCut &next);
    void reload(const QString &path, PageCut next);
    void confirmShownPage();

    QPointer<PreviewPane> pane_;
    PreviewRestoreState state_;
    // The page last given to the pane, cut; `confirmed` once the pane is seen to show
    // exactly these bytes (the file is the same after the load as when it was read).
    struct ShownCut {
        QString path;
        PageCut cut;
        bool confirmed = false;
    } shown_;
    QString patching_;      // the page a patch sent to the pane makes, "" when none is
    PageCut patchingCut_;
    QString waiting_;       // a page published while a patch was on its way
    int patches_ = 0;
    int loads_ = 0;
};
