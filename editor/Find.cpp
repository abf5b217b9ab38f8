#include "editor/Find.h"

#include "core/AppState.h"
#include "app/MainWindow.h"
#include "platform/Platform.h"

#include <Qsci/qsciscintillabase.h>

using Sci = QsciScintillaBase;

namespace {

// Kept for the whole run; only the Find dialog sets it, and never to "".
QString searchTerm;

QsciScintillaBase *markdownEditor()
{
    return mainWindow() ? mainWindow()->markdownEditor() : nullptr;
}

} // namespace

long FindInEditor(QsciScintillaBase *editor, const QByteArray &term, FindDirection direction)
{
    if (term.isEmpty())
        return 0;
    const long selStart = editor->SendScintilla(Sci::SCI_GETSELECTIONSTART);
    const long selEnd = editor->SendScintilla(Sci::SCI_GETSELECTIONEND);
    const long length = editor->SendScintilla(Sci::SCI_GETLENGTH);
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
        editor->SendScintilla(Sci::SCI_SETTARGETSTART, (unsigned long)targetStart);
        editor->SendScintilla(Sci::SCI_SETTARGETEND, (unsigned long)targetEnd);
        const long found = editor->SendScintilla(Sci::SCI_SEARCHINTARGET, (uintptr_t)term.size(), term.constData());
        if (found < 0) {
            if (wrapped)
                return 0;
            wrapped = true;
            continue;
        }
        const long matchStart = editor->SendScintilla(Sci::SCI_GETTARGETSTART);
        const long matchEnd = editor->SendScintilla(Sci::SCI_GETTARGETEND);
        if (matchStart == selStart && matchEnd == selEnd) {
            if (wrapped)
                return matchStart + 1;   // the only match is the one already selected
            offset += forwards ? 1 : -1;
            continue;
        }
        editor->SendScintilla(Sci::SCI_SETSEL, (unsigned long)matchStart, matchEnd);
        editor->SendScintilla(Sci::SCI_SCROLLRANGE, (unsigned long)matchEnd, matchStart);
        return matchStart + 1;
    }
}

void FindCommand()
{
    QsciScintillaBase *editor = markdownEditor();
    if (!editor)
        return;
    const QString entered = platform().inputText(mainWindow(), QStringLiteral("Find"), QStringLiteral("Find text:"));
    if (entered.isEmpty())
        return;
    searchTerm = entered;
    if (FindInEditor(editor, searchTerm.toUtf8(), FindDirection::Forwards) == 0)
        platform().messageBox(mainWindow(), MessageIcon::Warning, QStringLiteral("Quilldown"),
                              QStringLiteral("Text not found: ") + searchTerm, MessageButtons::Ok);
}

void FindAgainCommand(FindDirection direction)
{
    QsciScintillaBase *editor = markdownEditor();
    if (!editor || searchTerm.isEmpty())
        return;
    FindInEditor(editor, searchTerm.toUtf8(), direction);
}

QString SearchTerm()
{
    return searchTerm;
}

void ResetSearchTerm()
{
    searchTerm.clear();
}
