#include "app/EditCommands.h"

#include "app/MainWindow.h"
#include "core/AppState.h"
#include "editor/Editor.h"
#include "editor/Formatting.h"
#include "platform/Platform.h"

#include <QFont>

namespace {

// Kept for the whole run; only the Find dialog sets it, and never to "".
QString searchTerm;

QsciScintillaBase *windowMarkdownEditor()
{
    return mainWindow() ? mainWindow()->markdownEditor() : nullptr;
}

void applyStyleToBothEditors()
{
    if (!mainWindow())
        return;
    ApplyEditorStyle(mainWindow()->markdownEditor());
    ApplyEditorStyle(mainWindow()->headEditor());
}

} // namespace

void FindCommand()
{
    QsciScintillaBase *editor = windowMarkdownEditor();
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
    QsciScintillaBase *editor = windowMarkdownEditor();
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

void ToggleMarkup(const QByteArray &prefix, const QByteArray &suffix)
{
    if (QsciScintillaBase *editor = windowMarkdownEditor())
        ToggleMarkupIn(editor, prefix, suffix);
}

void InsertNoBreakSpace()
{
    MainWindow *w = mainWindow();
    if (!w)
        return;
    switch (w->focusedPane()) {
    case FocusedPane::Markdown: InsertNoBreakSpaceInto(w->markdownEditor()); break;
    case FocusedPane::Head: InsertNoBreakSpaceInto(w->headEditor()); break;
    default: break;
    }
}

void ChooseEditorFont()
{
    Settings &s = app().settings;
    const QFont initial(s.FontName, s.FontSize);
    QFont chosen;
    if (!platform().chooseFont(mainWindow(), initial, &chosen))
        return;
    if (!chosen.family().isEmpty())
        s.FontName = chosen.family();
    // Whole points only; a font given in pixels (no point size) keeps the old size.
    const int points = int(chosen.pointSizeF());
    if (points >= 1)
        s.FontSize = points;
    applyStyleToBothEditors();
}

void ToggleWordWrap()
{
    Settings &s = app().settings;
    s.WordWrap = s.WordWrap == 0 ? 1 : 0;
    applyStyleToBothEditors();
}
