#pragma once
// Configuration of the two editing components and their notifications.

#include <QByteArray>

class QsciScintillaBase;

enum class EditorRole { Markdown, Head };

void SetupEditor(QsciScintillaBase *editor);
void ApplyEditorStyle(QsciScintillaBase *editor);
// Connects the component's notifications to the shared handler; called once per editor.
void ConnectEditorNotifications(QsciScintillaBase *editor, EditorRole role);

void ChooseEditorFont();   // View > Font...
void ToggleWordWrap();     // View > Word Wrap

// Bytes [start, end) of the editor's text; empty when end <= start.
QByteArray GetTextRange(QsciScintillaBase *editor, long start, long end);
// The whole text as the component holds it (UTF-8 bytes, NUL bytes included).
QByteArray EditorText(QsciScintillaBase *editor);
// Replaces the whole text with these bytes, unchanged.
void SetEditorText(QsciScintillaBase *editor, const QByteArray &bytes);
