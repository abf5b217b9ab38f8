#include "app/EditCommands.h"

#include "app/Document.h"
#include "core/AppState.h"
#include "editor/Editor.h"
#include "editor/Formatting.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QFont>
#include <QWidget>
#include <Qsci/qsciscintillabase.h>

namespace {

// Kept for the whole run (the last term serves every document); only the Find dialog
// sets it, and never to "".
QString searchTerm;

void applyStyleToBothEditors(Document &document)
{
    ApplyEditorStyle(document.markdownEditor());
    ApplyEditorStyle(document.headEditor());
}

bool holdsFocus(const QWidget *editor)
{
    const QWidget *focus = QApplication::focusWidget();
    return focus && (focus == editor || editor->isAncestorOf(focus));
}

} // namespace

void FindCommand(Document &document)
{
    const QString entered =
        platform().inputText(document.window(), QStringLiteral("Find"), QStringLiteral("Find text:"));
    if (entered.isEmpty())
        return;
    searchTerm = entered;
    if (FindInEditor(document.markdownEditor(), searchTerm.toUtf8(), FindDirection::Forwards) == 0)
        platform().messageBox(document.window(), MessageIcon::Warning, QStringLiteral("Quilldown"),
                              QStringLiteral("Text not found: ") + searchTerm, MessageButtons::Ok);
}

void FindAgainCommand(Document &document, FindDirection direction)
{
    if (!searchTerm.isEmpty())
        FindInEditor(document.markdownEditor(), searchTerm.toUtf8(), direction);
}

QString SearchTerm()
{
    return searchTerm;
}

void ResetSearchTerm()
{
    searchTerm.clear();
}

void ToggleMarkup(Document &document, const QByteArray &prefix, const QByteArray &suffix)
{
    ToggleMarkupIn(document.markdownEditor(), prefix, suffix);
}

void InsertNoBreakSpace(Document &document)
{
    if (holdsFocus(document.markdownEditor()))
        InsertNoBreakSpaceInto(document.markdownEditor());
    else if (holdsFocus(document.headEditor()))
        InsertNoBreakSpaceInto(document.headEditor());
}

void ChooseEditorFont(Document &document)
{
    SettingsStore &s = app().settingsStore;
    const QFont initial(s.FontName(), s.FontSize());
    QFont chosen;
    if (!platform().chooseFont(document.window(), initial, &chosen))
        return;
    if (!chosen.family().isEmpty())
        s.setFontName(chosen.family());
    // Whole points only; a font given in pixels (no point size) keeps the old size.
    const int points = int(chosen.pointSizeF());
    if (points >= 1)
        s.setFontSize(points);
    applyStyleToBothEditors(document);
}

void ToggleWordWrap(Document &document)
{
    SettingsStore &s = app().settingsStore;
    s.setWordWrap(s.WordWrap() == 0 ? 1 : 0);
    applyStyleToBothEditors(document);
}
