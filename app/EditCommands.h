#pragma once
// The Edit menu's commands and the View menu's editor commands, on the document's editors.

#include "editor/Find.h"

#include <QByteArray>
#include <QString>

class Document;

void FindCommand(Document &document);                              // Edit > Find (asks for the term)
void FindAgainCommand(Document &document, FindDirection direction);  // Find Next / Find Previous
// The remembered search term (empty until Find was given one).
QString SearchTerm();
void ResetSearchTerm();

// Bold and Italic: on the Markdown editor, whichever pane has the focus.
void ToggleMarkup(Document &document, const QByteArray &prefix, const QByteArray &suffix);
// Inserts U+00A0 into whichever editor has the focus.
void InsertNoBreakSpace(Document &document);

void ChooseEditorFont(Document &document);   // View > Font...
void ToggleWordWrap(Document &document);     // View > Word Wrap
