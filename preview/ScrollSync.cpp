#include "preview/ScrollSync.h"

#include "preview/PreviewPane.h"

#include <Qsci/qsciscintillabase.h>
#include <cmath>
#include <QPointer>
#include <cstdint>

namespace {

using Sci = QsciScintillaBase;

struct EditorLines {
    long lines;
    long visible;
    long first;
};

// Lines are counted as displayed: with word wrap a document line may take several, and
// the first visible line is a display line too, so both sides of the ratio agree.
EditorLines editorLines(QsciScintillaBase *editor)
{
    const long docLines = editor->SendScintilla(Sci::SCI_GETLINECOUNT);
    const long last = docLines - 1;
    const long lines = editor->SendScintilla(Sci::SCI_VISIBLEFROMDOCLINE, (unsigned long)last) +
                       editor->SendScintilla(Sci::SCI_WRAPCOUNT, (unsigned long)last);
    return {lines, editor->SendScintilla(Sci::SCI_LINESONSCREEN),
            editor->SendScintilla(Sci::SCI_GETFIRSTVISIBLELINE)};
}

} // namespace

ScrollSync::ScrollSync(PreviewPane *pane, QsciScintillaBase *editor, std::function<bool()> enabled)
    : pane_(pane)
    , editor_(editor)
    , enabled_(std::move(enabled))
{
}

bool ScrollSync::enabled() const
{
    return enabled_ && enabled_();
}

double EditorScrollPercent(QsciScintillaBase *editor)
{
    if (!editor)
        return 0;
    const EditorLines e = editorLines(editor);
    if (e.lines <= e.visible)
        return 0;
    return std::round(double(e.first) * 100.0 / double(e.lines - e.visible));
}

bool SetEditorScrollPercent(QsciScintillaBase *editor, double percent)
{
    if (!editor)
        return false;
    const EditorLines e = editorLines(editor);
    if (e.lines <= e.visible)
        return false;
    const long line = std::lround(double(e.lines - e.visible) * percent / 100.0);
    editor->SendScintilla(Sci::SCI_SETFIRSTVISIBLELINE, (unsigned long)qMax(0L, line));
    return editor->SendScintilla(Sci::SCI_GETFIRSTVISIBLELINE) != e.first;
}

double ScrollPercentOf(int offset, int range)
{
    if (range <= 0)
        return 0;
    const std::int64_t clamped = qBound(0, offset, range);
    return double(clamped * 100000 / std::int64_t(range)) * 0.001;
}

double ScrollSync::previewPercent() const
{
    return pane_ ? ScrollPercentOf(pane_->scrollTop(), pane_->maxScroll()) : 0;
}

bool ScrollSync::setPreviewPercent(double percent)
{
    PreviewPane *pane = pane_.data();
    if (!pane)
        return false;
    const int offset = int(std::lround(double(pane->maxScroll()) * percent * 0.01));
    // Already there (or a page that cannot scroll): nothing moves, so no echo will come.
    if (qBound(0, offset, pane->maxScroll()) == pane->intendedTop())
        return false;
    pane->scrollToOffset(offset);
    return true;
}

void ScrollSync::editorMoved()
{
    ScrollSyncState &st = state_;
    const double p = EditorScrollPercent(editor_.data());
    if (enabled() && !st.syncGuard && p != st.lastEditorPercent) {
        if (st.editorScrollFromSync) {
            st.editorScrollFromSync = 0;
        } else {
            st.syncGuard = 1;
            // The flag absorbs the one change of the preview that this move causes; when
            // the preview cannot move there is no change to absorb.
            if (setPreviewPercent(p))
                st.ignoreNextPreviewScroll = 1;
            st.syncGuard = 0;
        }
    }
    st.lastEditorPercent = p;
}

void ScrollSync::previewMoved()
{
    ScrollSyncState &st = state_;
    PreviewPane *pane = pane_.data();
    // The cached preview values are compared only once our own scripts have answered;
    // before that they may still describe the position from before our scroll.
    if (!pane || pane->isLoadingPage() || pane->scriptsPending())
        return;
    const double old = st.lastPreviewPercent;
    st.lastPreviewPercent = previewPercent();
    if (st.syncGuard || st.lastPreviewPercent == old)
        return;
    if (st.ignoreNextPreviewScroll) {
        st.ignoreNextPreviewScroll = 0;
        return;
    }
    st.syncGuard = 1;
    QsciScintillaBase *editor = editor_.data();
    const bool moved = SetEditorScrollPercent(editor, st.lastPreviewPercent);
    // Only a move whose notification is still to come leaves an echo to absorb.
    if (moved && EditorScrollPercent(editor) != st.lastEditorPercent)
        st.editorScrollFromSync = 1;
    st.syncGuard = 0;
}

void ScrollSync::align()
{
    ScrollSyncState &st = state_;
    if (st.syncGuard)
        return;
    st.syncGuard = 1;
    setPreviewPercent(EditorScrollPercent(editor_.data()));
    st.syncGuard = 0;
}
