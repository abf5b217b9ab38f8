#pragma once
// Keeps editor and preview at the same relative scroll position.

#include <functional>

class QsciScintillaBase;

// The Markdown editor the preview follows, and whether the two scroll together (read
// each time, so a change of the setting counts at once).
void SetScrollSyncSources(QsciScintillaBase *editor, std::function<bool()> enabled);
bool ScrollSyncEnabled();

double EditorScrollPercent(QsciScintillaBase *editor);
// Returns whether the editor's first visible line changed.
bool SetEditorScrollPercent(QsciScintillaBase *editor, double percent);
double PreviewScrollPercent();
// Returns whether the preview is being moved (false when it already is at that offset).
bool SetPreviewScrollPercent(double percent);

// The percentage of a scroll offset within its range, in steps of 0.001.
double ScrollPercentOf(int offset, int range);

void SyncEditorToPreview();   // on every update notification of the Markdown editor
void SyncPreviewToEditor();   // on idle passes
void AlignPreview();          // Ctrl+Tab

// Main thread only.
struct ScrollSyncState {
    int syncGuard = 0;
    int ignoreNextPreviewScroll = 0;
    int editorScrollFromSync = 0;
    double lastEditorPercent = 0;
    double lastPreviewPercent = 0;
};
ScrollSyncState &scrollSyncState();
void ResetScrollSync();
