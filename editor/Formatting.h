#pragma once
// Bold, Italic and the no-break space.

#include <QByteArray>

class QsciScintillaBase;

struct TextRange {
    long start = 0;
    long end = 0;
    long length() const { return end - start; }
};

TextRange GetSelectionOrWord(QsciScintillaBase *editor);
// Adds or removes the markers around the selection or the word at the caret of the
// Markdown editor, in one undo step.
void ToggleMarkup(const QByteArray &prefix, const QByteArray &suffix);
// Inserts U+00A0 into whichever editor has the focus.
void InsertNoBreakSpace();
