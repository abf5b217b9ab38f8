#pragma once
// The reactions to the components' notifications: the edit hook, auto-indent, container styling and the editor-to-preview sync.

#include "editor/Editor.h"

#include <Qsci/qsciscintillabase.h>

class QsciScintillaBase;

// Scintilla's notification codes (the component delivers them as signals of these names).
enum EditorNotificationCode : int {
    SCN_STYLENEEDED = 2000,
    SCN_CHARADDED = 2001,
    SCN_UPDATEUI = 2007,
    SCN_MODIFIED = 2008,
};

// The SCN_MODIFIED types that change the text: either pair, depending on
// ChangeNotificationMask().
inline constexpr int kTextChangeTypes = QsciScintillaBase::SC_MOD_INSERTTEXT | QsciScintillaBase::SC_MOD_DELETETEXT |
                                        QsciScintillaBase::SC_MOD_BEFOREINSERT | QsciScintillaBase::SC_MOD_BEFOREDELETE;

// One notification as the component reports it; only the fields its code uses are set.
struct EditorNotification {
    int code = 0;               // EditorNotificationCode
    int position = 0;           // SCN_STYLENEEDED: style up to here
    int modificationType = 0;   // SCN_MODIFIED
    int character = 0;          // SCN_CHARADDED: the code point added
};

// The shared handler of both editors; always 0.
int OnEditorNotify(QsciScintillaBase *editor, EditorRole role, const EditorNotification &notification,
                   const EditorHooks &hooks = {});

// Copies the previous line's leading blanks to the caret of a freshly started line.
void AutoIndentNewLine(QsciScintillaBase *editor);
// Start of the line that holds the first byte the component has not styled yet.
long StyleNeededStart(QsciScintillaBase *editor);
// Head editor: everything in style 32.
void StylePlainRange(QsciScintillaBase *editor, long start, long end);
