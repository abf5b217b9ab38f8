#include "editor/Formatting.h"

TextRange GetSelectionOrWord(QsciScintillaBase *)
{
    return TextRange();
}

void ToggleMarkup(const QByteArray &, const QByteArray &) {}

void InsertNoBreakSpace() {}
