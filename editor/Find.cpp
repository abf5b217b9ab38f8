#include "editor/Find.h"

#include "editor/EditorView.h"

#include <Qsci/qsciscintillabase.h>

using Sci = QsciScintillaBase;

long FindInEditor(QsciScintillaBase *editor, const QByteArray &term, FindDirection direction)
{
    if (term.isEmpty())
        return 0;
    EditorView view(editor);
    const long selStart = view.selectionStart();
    const long selEnd = view.selectionEnd();
    const long length = view.length();
    const bool forwards = direction == FindDirection::Forwards;
    editor->SendScintilla(Sci::SCI_SETSEARCHFLAGS, 0UL);

    bool wrapped = false;
    long offset = 0;
    for (;;) {
        long targetStart;
        long targetEnd;
        if (forwards) {
            targetStart = wrapped ? 0 : selStart + offset;
            targetEnd = length;
        } else {
            // A target that runs from a higher to a lower position is searched backwards.
            targetStart = wrapped ? length : selStart + offset;
            targetEnd = 0;
        }
        const long found = view.searchInTarget(targetStart, targetEnd, term);
        if (found < 0) {
            if (wrapped)
                return 0;
            wrapped = true;
            continue;
        }
        const long matchStart = view.targetStart();
        const long matchEnd = view.targetEnd();
        if (matchStart == selStart && matchEnd == selEnd) {
            if (wrapped)
                return matchStart + 1;   // the only match is the one already selected
            offset += forwards ? 1 : -1;
            continue;
        }
        view.setSelection(matchStart, matchEnd);
        view.scrollRange(matchEnd, matchStart);
        return matchStart + 1;
    }
}
