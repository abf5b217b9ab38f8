#pragma once
// The Edit menu's commands and the View menu's editor commands, on the window's editors.

#include "editor/Find.h"

#include <QByteArray>
#include <QString>

void FindCommand();                              // Edit > Find (asks for the term)
void FindAgainCommand(FindDirection direction);  // Find Next / Find Previous
// The remembered search term (empty until Find was given one).
QString SearchTerm();
void ResetSearchTerm();

// Bold and Italic: on the Markdown editor, whichever pane has the focus.
void ToggleMarkup(const QByteArray &prefix, const QByteArray &suffix);
// Inserts U+00A0 into whichever editor has the focus.
void InsertNoBreakSpace();

void ChooseEditorFont();   // View > Font...
void ToggleWordWrap();     // View > Word Wrap
