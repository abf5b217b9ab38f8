#pragma once
// Showing a newly published page at the offset the reader left the old one: the pane
// keeps a picture of the old page until the new one has been scrolled there.

#include <QPointer>
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

// Reload and restore for one pane; a pane that has gone leaves it doing nothing.
class PreviewReload {
public:
    explicit PreviewReload(PreviewPane *pane);

    // Idle work of the main loop: loads a finished page or takes a pending restore one
    // step further. Returns false when there was nothing of that kind to do.
    bool step();

    const PreviewRestoreState &state() const { return state_; }
    bool restorePending() const { return state_.restoreTarget >= 0; }
    // Whether the pane shows its picture from before a reload.
    bool snapshotShown() const;

private:
    void suspendRedraw();
    void resumeRedraw();
    void finishRestore();

    QPointer<PreviewPane> pane_;
    PreviewRestoreState state_;
};
