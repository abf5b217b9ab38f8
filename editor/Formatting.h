#pragma once
// Bold, Italic and the no-break space.

#include <QByteArray>

class QsciScintillaBase;

struct TextRange {
    long start = 0;
    long end = 0;
    long length() const { return end - start; }
};

// The selection, or without one the word that holds or touches the caret (the
// component's default word characters); an empty range at the caret when there is none.
TextRange GetSelectionOrWord(QsciScintillaBase *editor);
// Adds or removes the markers around the selection or the word at the caret, in one
// undo step; caret and anchor stay with their text.
void ToggleMarkupIn(QsciScintillaBase *editor, const QByteArray &prefix, const QByteArray &suffix);
// Inserts U+00A0 at the editor's caret, in place of its selection.
void InsertNoBreakSpaceInto(QsciScintillaBase *editor);
