#pragma once
// What the editors do with keys before the component sees them: a Ctrl chord that is no
// shortcut types nothing, and the caret, Backspace, Delete and typing treat a writer's
// character (a grapheme: an emoji sequence, a letter with its accents) as one.

#include <Qt>

class QString;
class QsciScintillaBase;

// Whether a key press with these modifiers and text is a Ctrl chord, whose text must not
// reach the document. Ctrl+Alt with text is how AltGr arrives on many layouts ("@", "{",
// "€"), so it keeps typing its character.
bool IsCtrlChordText(Qt::KeyboardModifiers modifiers, const QString &text);

// Installs the key handling on the editor; installing again changes nothing. The window's
// shortcuts are unaffected: Qt runs them before a key press reaches the editor, so a Ctrl
// chord that arrives here is one no shortcut took. The component's own Ctrl keys
// (undo, copy, word moves, ...) are bound to the key, not its text, and keep working.
void InstallEditorKeys(QsciScintillaBase *editor);
