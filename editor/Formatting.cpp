#include "editor/Formatting.h"

#include "editor/EditorView.h"

TextRange GetSelectionOrWord(QsciScintillaBase *editor)
{
    const EditorView view(editor);
    TextRange range;
    range.start = view.selectionStart();
    range.end = view.selectionEnd();
    if (range.end <= range.start) {
        range.start = view.wordStart(range.start);
        range.end = view.wordEnd(range.end);
    }
    return range;
}

void ToggleMarkupIn(QsciScintillaBase *editor, const QByteArray &prefix, const QByteArray &suffix)
{
    EditorView view(editor);
    const long caret = view.caret();
    const long anchor = view.anchor();
    const long p = prefix.size();
    const long s = suffix.size();
    const TextRange range = GetSelectionOrWord(editor);
    long shift = 0;

    view.beginUndoAction();
    const bool enclosed = view.textRange(range.start - p, range.start) == prefix
                          && view.textRange(range.end, range.end + s) == suffix;
    // The suffix goes first so that the prefix positions stay valid.
    if (enclosed) {
        view.deleteRange(range.end, s);
        view.deleteRange(range.start - p, p);
        shift = -p;
    } else {
        view.insertText(range.end, suffix);
        view.insertText(range.start, prefix);
        shift = p;
    }
    if (shift != 0) {
        view.setCaret(caret + shift);
        view.setAnchor(anchor + shift);
    }
    view.endUndoAction();
}

void InsertNoBreakSpaceInto(QsciScintillaBase *editor)
{
    EditorView(editor).replaceSelection("\xC2\xA0");
}
