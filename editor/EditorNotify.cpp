#include "editor/EditorNotify.h"

#include "editor/EditorView.h"
#include "editor/MarkdownStyle.h"

#include <QScrollBar>
#include <Qsci/qsciscintillabase.h>

using Sci = QsciScintillaBase;

namespace {

void call(const std::function<void()> &hook)
{
    if (hook)
        hook();
}
} // namespace

void ConnectEditorNotifications(QsciScintillaBase *editor, EditorRole role, const EditorHooks &hooks)
{
    QObject::connect(editor, &Sci::SCN_MODIFIED, editor,
                     [editor, role, hooks](int, int type, const char *, int, int, int, int, int, int, int) {
                         EditorNotification n;
                         n.code = SCN_MODIFIED;
                         n.modificationType = type;
                         OnEditorNotify(editor, role, n, hooks);
                     });
    QObject::connect(editor, &Sci::SCN_CHARADDED, editor, [editor, role, hooks](int ch) {
        EditorNotification n;
        n.code = SCN_CHARADDED;
        n.character = ch;
        OnEditorNotify(editor, role, n, hooks);
    });
    QObject::connect(editor, &Sci::SCN_STYLENEEDED, editor, [editor, role, hooks](int position) {
        EditorNotification n;
        n.code = SCN_STYLENEEDED;
        n.position = position;
        OnEditorNotify(editor, role, n, hooks);
    });
    // Scrolling reaches the idle pass even while the editor is not painted (hidden or
    // covered), when no update notification comes.
    QObject::connect(editor->verticalScrollBar(), &QScrollBar::valueChanged, editor,
                     [activity = hooks.activity] { call(activity); });
    QObject::connect(editor, &Sci::SCN_UPDATEUI, editor, [editor, role, hooks](int) {
        EditorNotification n;
        n.code = SCN_UPDATEUI;
        OnEditorNotify(editor, role, n, hooks);
    });
}

int OnEditorNotify(QsciScintillaBase *editor, EditorRole role, const EditorNotification &notification,
                   const EditorHooks &hooks)
{
    switch (notification.code) {
    case SCN_MODIFIED:
        if (notification.modificationType & kTextChangeTypes)
            call(hooks.edited);
        break;
    case SCN_CHARADDED:
        // With CR LF line ends the carriage return arrives first; only the line feed acts.
        if (notification.character == '\n')
            AutoIndentNewLine(editor);
        break;
    case SCN_STYLENEEDED: {
        const long start = StyleNeededStart(editor);
        if (role == EditorRole::Markdown)
            StyleMarkdownRange(editor, start, notification.position);
        else
            StylePlainRange(editor, start, notification.position);
        break;
    }
    case SCN_UPDATEUI:
        call(hooks.activity);
        if (role == EditorRole::Markdown)
            call(hooks.markdownMoved);
        break;
    default:
        break;
    }
    return 0;
}

void AutoIndentNewLine(QsciScintillaBase *editor)
{
    EditorView view(editor);
    const long line = view.lineFromPosition(view.caret());
    if (line < 1)
        return;
    const long start = view.positionFromLine(line - 1);
    const long indentEnd = view.lineIndentPosition(line - 1);
    if (indentEnd <= start)
        return;
    const QByteArray indent = view.textRange(start, indentEnd);
    if (!indent.isEmpty())
        view.replaceSelection(indent);
}

long StyleNeededStart(QsciScintillaBase *editor)
{
    const EditorView view(editor);
    return view.positionFromLine(view.lineFromPosition(view.endStyled()));
}

void StylePlainRange(QsciScintillaBase *editor, long start, long end)
{
    if (end <= start)
        return;
    editor->SendScintilla(Sci::SCI_STARTSTYLING, (unsigned long)start, 31L);
    editor->SendScintilla(Sci::SCI_SETSTYLING, (unsigned long)(end - start), (long)Sci::STYLE_DEFAULT);
}
