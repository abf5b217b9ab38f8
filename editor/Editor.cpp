#include "editor/Editor.h"

#include "app/AppState.h"
#include "app/MainWindow.h"

#include <Qsci/qsciscintillabase.h>

using Sci = QsciScintillaBase;

void SetupEditor(QsciScintillaBase *editor)
{
    editor->SendScintilla(Sci::SCI_SETCODEPAGE, Sci::SC_CP_UTF8);
    editor->SendScintilla(Sci::SCI_CLEARALL);
    editor->SendScintilla(Sci::SCI_EMPTYUNDOBUFFER);
    editor->SendScintilla(Sci::SCI_SETSAVEPOINT);
    ApplyEditorStyle(editor);
}

void ApplyEditorStyle(QsciScintillaBase *editor)
{
    const Settings &s = app().settings;
    editor->SendScintilla(Sci::SCI_STYLESETFONT, (unsigned long)Sci::STYLE_DEFAULT, s.FontName.toUtf8().constData());
    editor->SendScintilla(Sci::SCI_STYLESETSIZE, (unsigned long)Sci::STYLE_DEFAULT, (long)s.FontSize);
    editor->SendScintilla(Sci::SCI_STYLECLEARALL);
    editor->SendScintilla(Sci::SCI_SETWRAPMODE, (unsigned long)s.WordWrap);
}

void ConnectEditorNotifications(QsciScintillaBase *, EditorRole) {}

void ChooseEditorFont() {}

void ToggleWordWrap() {}

QByteArray GetTextRange(QsciScintillaBase *, long, long)
{
    return QByteArray();
}

QByteArray EditorText(QsciScintillaBase *editor)
{
    const long length = editor->SendScintilla(Sci::SCI_GETLENGTH);
    QByteArray bytes(length + 1, '\0');
    editor->SendScintilla(Sci::SCI_GETTEXT, (unsigned long)(length + 1), bytes.data());
    bytes.resize(length);
    return bytes;
}

void SetEditorText(QsciScintillaBase *editor, const QByteArray &bytes)
{
    editor->SendScintilla(Sci::SCI_CLEARALL);
    editor->SendScintilla(Sci::SCI_APPENDTEXT, (unsigned long)bytes.size(), bytes.constData());
}
