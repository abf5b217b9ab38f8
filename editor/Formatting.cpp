#include "editor/Formatting.h"

#include "core/AppState.h"
#include "app/MainWindow.h"
#include "editor/Editor.h"

#include <Qsci/qsciscintillabase.h>

using Sci = QsciScintillaBase;

TextRange GetSelectionOrWord(QsciScintillaBase *editor)
{
    TextRange range;
    range.start = editor->SendScintilla(Sci::SCI_GETSELECTIONSTART);
    range.end = editor->SendScintilla(Sci::SCI_GETSELECTIONEND);
    if (range.end <= range.start) {
        range.start = editor->SendScintilla(Sci::SCI_WORDSTARTPOSITION, (unsigned long)range.start, 1L);
        range.end = editor->SendScintilla(Sci::SCI_WORDENDPOSITION, (unsigned long)range.end, 1L);
    }
    return range;
}

void ToggleMarkupIn(QsciScintillaBase *editor, const QByteArray &prefix, const QByteArray &suffix)
{
    const long caret = editor->SendScintilla(Sci::SCI_GETCURRENTPOS);
    const long anchor = editor->SendScintilla(Sci::SCI_GETANCHOR);
    const long p = prefix.size();
    const long s = suffix.size();
    const TextRange range = GetSelectionOrWord(editor);
    long shift = 0;

    editor->SendScintilla(Sci::SCI_BEGINUNDOACTION);
    const bool enclosed = GetTextRange(editor, range.start - p, range.start) == prefix
                          && GetTextRange(editor, range.end, range.end + s) == suffix;
    // The suffix goes first so that the prefix positions stay valid.
    if (enclosed) {
        editor->SendScintilla(Sci::SCI_DELETERANGE, (unsigned long)range.end, s);
        editor->SendScintilla(Sci::SCI_DELETERANGE, (unsigned long)(range.start - p), p);
        shift = -p;
    } else {
        editor->SendScintilla(Sci::SCI_INSERTTEXT, (uintptr_t)range.end, suffix.constData());
        editor->SendScintilla(Sci::SCI_INSERTTEXT, (uintptr_t)range.start, prefix.constData());
        shift = p;
    }
    if (shift != 0) {
        editor->SendScintilla(Sci::SCI_SETCURRENTPOS, (unsigned long)(caret + shift));
        editor->SendScintilla(Sci::SCI_SETANCHOR, (unsigned long)(anchor + shift));
    }
    editor->SendScintilla(Sci::SCI_ENDUNDOACTION);
}

void ToggleMarkup(const QByteArray &prefix, const QByteArray &suffix)
{
    if (mainWindow())
        ToggleMarkupIn(mainWindow()->markdownEditor(), prefix, suffix);
}

void InsertNoBreakSpace()
{
    MainWindow *w = mainWindow();
    if (!w)
        return;
    QsciScintillaBase *target = nullptr;
    switch (w->focusedPane()) {
    case 0: target = w->markdownEditor(); break;
    case 1: target = w->headEditor(); break;
    default: return;
    }
    target->SendScintilla(Sci::SCI_REPLACESEL, 0UL, "\xC2\xA0");
}
