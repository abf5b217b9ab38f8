#pragma once
// Keeps editor and preview at the same relative scroll position.

#include <QPointer>
#include <functional>

class PreviewPane;
class QsciScintillaBase;

double EditorScrollPercent(QsciScintillaBase *editor);
// Returns whether the editor's first visible line changed.
bool SetEditorScrollPercent(QsciScintillaBase *editor, double percent);

// The percentage of a scroll offset within its range, in steps of 0.001.
double ScrollPercentOf(int offset, int range);

// The bookkeeping that tells a move of our own from one the reader made (main thread only).
struct ScrollSyncState {
    int syncGuard = 0;
    int ignoreNextPreviewScroll = 0;
    int editorScrollFromSync = 0;
    double lastEditorPercent = 0;
    double lastPreviewPercent = 0;
};

// The synchronisation between one Markdown editor and one pane; both may go before it
// does, and it then does nothing.
class ScrollSync {
public:
    // `enabled` is asked each time, so a change of the setting counts at once.
    ScrollSync(PreviewPane *pane, QsciScintillaBase *editor, std::function<bool()> enabled);

    bool enabled() const;
    const ScrollSyncState &state() const { return state_; }

    double previewPercent() const;
    // Returns whether the preview is being moved (false when it already is at that offset).
    bool setPreviewPercent(double percent);

    void editorMoved();     // on every update notification of the Markdown editor
    void previewMoved();    // on idle passes: the preview may have been scrolled
    void align();           // Ctrl+Tab: the preview to where the editor is, sync on or off

private:
    QPointer<PreviewPane> pane_;
    QPointer<QsciScintillaBase> editor_;
    std::function<bool()> enabled_;
    ScrollSyncState state_;
};
