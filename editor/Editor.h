#pragma once
// Configuration of the two editing components and the byte-exact text helpers every
// other part uses to talk to the components.

#include <QByteArray>
#include <QString>
#include <functional>

class QsciScintillaBase;

enum class EditorRole { Markdown, Head };

// Empties the component and configures it from the settings; no undo history, not modified.
void SetupEditor(QsciScintillaBase *editor);
// The modifications the component reports through SCN_MODIFIED: insertions and
// deletions only.
unsigned long ChangeNotificationMask();
// Font, size, colours and wrap mode from the settings.
void ApplyEditorStyle(QsciScintillaBase *editor);
// The family the editors draw with for the configured `FontName`: the name itself when that
// family is installed, otherwise the system's fixed-width font, never whatever face the
// font matching would pick for a missing name (often a proportional one). The setting
// keeps the configured name.
QString EditorFontFamily(const QString &configured);
// What the notification reactions tell the rest of the program; any may be empty.
struct EditorHooks {
    std::function<void()> activity;       // something moved or changed (keeps the idle pass awake)
    std::function<void()> edited;         // the text changed by an edit
    std::function<void()> markdownMoved;  // the Markdown editor's view or caret moved
};

// Connects the component's notifications to the shared handler; called once per editor.
void ConnectEditorNotifications(QsciScintillaBase *editor, EditorRole role, const EditorHooks &hooks = {});

// Bytes [start, end) of the editor's text; empty when end <= start or when the stretch
// does not lie inside the text.
QByteArray GetTextRange(QsciScintillaBase *editor, long start, long end);
// The whole text as the component holds it (UTF-8 bytes, NUL bytes included).
QByteArray EditorText(QsciScintillaBase *editor);
// Replaces the whole text with these bytes, unchanged.
void SetEditorText(QsciScintillaBase *editor, const QByteArray &bytes);
