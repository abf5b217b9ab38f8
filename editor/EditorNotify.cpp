#include "editor/EditorNotify.h"

#include "core/AppState.h"
#include "app/IdlePass.h"
#include "app/MainWindow.h"
#include "app/PreviewHost.h"
#include "conversion/ConversionWorker.h"
#include "editor/MarkdownStyle.h"
#include "platform/Platform.h"

#include <QScrollBar>
#include <Qsci/qsciscintillabase.h>

using Sci = QsciScintillaBase;

namespace {
// Either pair, depending on ChangeNotificationMask().
constexpr int kTextChange =
    Sci::SC_MOD_INSERTTEXT | Sci::SC_MOD_DELETETEXT | Sci::SC_MOD_BEFOREINSERT | Sci::SC_MOD_BEFOREDELETE;
}

void ConnectEditorNotifications(QsciScintillaBase *editor, EditorRole role)
{
    QObject::connect(editor, &Sci::SCN_MODIFIED, editor,
                     [editor, role](int, int type, const char *, int, int, int, int, int, int, int) {
                         EditorNotification n;
                         n.code = SCN_MODIFIED;
                         n.modificationType = type;
                         OnEditorNotify(editor, role, n);
                     });
    QObject::connect(editor, &Sci::SCN_CHARADDED, editor, [editor, role](int ch) {
        EditorNotification n;
        n.code = SCN_CHARADDED;
        n.character = ch;
        OnEditorNotify(editor, role, n);
    });
    QObject::connect(editor, &Sci::SCN_STYLENEEDED, editor, [editor, role](int position) {
        EditorNotification n;
        n.code = SCN_STYLENEEDED;
        n.position = position;
        OnEditorNotify(editor, role, n);
    });
    // Scrolling reaches the idle pass even while the editor is not painted (hidden or
    // covered), when no update notification comes.
    QObject::connect(editor->verticalScrollBar(), &QScrollBar::valueChanged, editor, [] { KeepIdlePassAwake(); });
    QObject::connect(editor, &Sci::SCN_UPDATEUI, editor, [editor, role](int) {
        EditorNotification n;
        n.code = SCN_UPDATEUI;
        OnEditorNotify(editor, role, n);
    });
}

int OnEditorNotify(QsciScintillaBase *editor, EditorRole role, const EditorNotification &notification)
{
    switch (notification.code) {
    case SCN_MODIFIED:
        if (notification.modificationType & kTextChange)
            SignalChange();
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
        KeepIdlePassAwake();
        if (role == EditorRole::Markdown)
            SyncPreviewToEditorMove();
        break;
    default:
        break;
    }
    return 0;
}

void SignalChange()
{
    AppState &s = app();
    if (s.changeSuppression.load())
        return;
    s.lastChangeTime = static_cast<std::int32_t>(platform().milliseconds());
    s.changePending = 1;
    WakeConversionWorker();
    if (mainWindow())
        mainWindow()->setStatusText(QString());
}

void AutoIndentNewLine(QsciScintillaBase *editor)
{
    const long caret = editor->SendScintilla(Sci::SCI_GETCURRENTPOS);
    const long line = editor->SendScintilla(Sci::SCI_LINEFROMPOSITION, (unsigned long)caret);
    if (line < 1)
        return;
    const long start = editor->SendScintilla(Sci::SCI_POSITIONFROMLINE, (unsigned long)(line - 1));
    const long indentEnd = editor->SendScintilla(Sci::SCI_GETLINEINDENTPOSITION, (unsigned long)(line - 1));
    if (indentEnd <= start)
        return;
    const QByteArray indent = GetTextRange(editor, start, indentEnd);
    if (!indent.isEmpty())
        editor->SendScintilla(Sci::SCI_REPLACESEL, 0UL, indent.constData());
}

long StyleNeededStart(QsciScintillaBase *editor)
{
    const long endStyled = editor->SendScintilla(Sci::SCI_GETENDSTYLED);
    const long line = editor->SendScintilla(Sci::SCI_LINEFROMPOSITION, (unsigned long)endStyled);
    return editor->SendScintilla(Sci::SCI_POSITIONFROMLINE, (unsigned long)line);
}

void StylePlainRange(QsciScintillaBase *editor, long start, long end)
{
    if (end <= start)
        return;
    editor->SendScintilla(Sci::SCI_STARTSTYLING, (unsigned long)start, 31L);
    editor->SendScintilla(Sci::SCI_SETSTYLING, (unsigned long)(end - start), (long)Sci::STYLE_DEFAULT);
}
