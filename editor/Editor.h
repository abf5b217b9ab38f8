#pragma once
// Configuration of the two editing components, the font and wrap commands, and the
// byte-exact text helpers every other part uses to talk to the components.

#include <QByteArray>

class QsciScintillaBase;

enum class EditorRole { Markdown, Head };

// Empties the component and configures it from the settings; no undo history, not modified.
void SetupEditor(QsciScintillaBase *editor);
// The modifications the component reports through SCN_MODIFIED: insertions and
// deletions only.
unsigned long ChangeNotificationMask();
// Font, size, colours and wrap mode from the settings.
void ApplyEditorStyle(QsciScintillaBase *editor);
// Connects the component's notifications to the shared handler; called once per editor.
void ConnectEditorNotifications(QsciScintillaBase *editor, EditorRole role);

void ChooseEditorFont();   // View > Font...
void ToggleWordWrap();     // View > Word Wrap

// Bytes [start, end) of the editor's text; empty when end <= start or when the stretch
// does not lie inside the text.
QByteArray GetTextRange(QsciScintillaBase *editor, long start, long end);
// The whole text as the component holds it (UTF-8 bytes, NUL bytes included).
QByteArray EditorText(QsciScintillaBase *editor);
// Replaces the whole text with these bytes, unchanged.
void SetEditorText(QsciScintillaBase *editor, const QByteArray &bytes);
