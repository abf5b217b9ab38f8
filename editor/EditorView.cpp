#include "editor/EditorView.h"

#include "editor/Editor.h"

#include <Qsci/qsciscintillabase.h>

using Sci = QsciScintillaBase;

long EditorView::length() const
{
    return editor_->SendScintilla(Sci::SCI_GETLENGTH);
}

QByteArray EditorView::text() const
{
    return EditorText(editor_);
}

void EditorView::setText(const QByteArray &bytes)
{
    SetEditorText(editor_, bytes);
}

QByteArray EditorView::textRange(long start, long end) const
{
    return GetTextRange(editor_, start, end);
}

long EditorView::caret() const
{
    return editor_->SendScintilla(Sci::SCI_GETCURRENTPOS);
}

long EditorView::anchor() const
{
    return editor_->SendScintilla(Sci::SCI_GETANCHOR);
}

long EditorView::selectionStart() const
{
    return editor_->SendScintilla(Sci::SCI_GETSELECTIONSTART);
}

long EditorView::selectionEnd() const
{
    return editor_->SendScintilla(Sci::SCI_GETSELECTIONEND);
}

void EditorView::setSelection(long anchor, long caret)
{
    editor_->SendScintilla(Sci::SCI_SETSEL, (unsigned long)anchor, caret);
}

void EditorView::setCaret(long position)
{
    editor_->SendScintilla(Sci::SCI_SETCURRENTPOS, (unsigned long)position);
}

void EditorView::setAnchor(long position)
{
    editor_->SendScintilla(Sci::SCI_SETANCHOR, (unsigned long)position);
}

long EditorView::lineFromPosition(long position) const
{
    return editor_->SendScintilla(Sci::SCI_LINEFROMPOSITION, (unsigned long)position);
}

long EditorView::positionFromLine(long line) const
{
    return editor_->SendScintilla(Sci::SCI_POSITIONFROMLINE, (unsigned long)line);
}

long EditorView::lineIndentPosition(long line) const
{
    return editor_->SendScintilla(Sci::SCI_GETLINEINDENTPOSITION, (unsigned long)line);
}

long EditorView::firstVisibleLine() const
{
    return editor_->SendScintilla(Sci::SCI_GETFIRSTVISIBLELINE);
}

long EditorView::linesOnScreen() const
{
    return editor_->SendScintilla(Sci::SCI_LINESONSCREEN);
}

long EditorView::wordStart(long position) const
{
    return editor_->SendScintilla(Sci::SCI_WORDSTARTPOSITION, (unsigned long)position, 1L);
}

long EditorView::wordEnd(long position) const
{
    return editor_->SendScintilla(Sci::SCI_WORDENDPOSITION, (unsigned long)position, 1L);
}

long EditorView::endStyled() const
{
    return editor_->SendScintilla(Sci::SCI_GETENDSTYLED);
}

long EditorView::searchInTarget(long start, long end, const QByteArray &term)
{
    editor_->SendScintilla(Sci::SCI_SETTARGETSTART, (unsigned long)start);
    editor_->SendScintilla(Sci::SCI_SETTARGETEND, (unsigned long)end);
    return editor_->SendScintilla(Sci::SCI_SEARCHINTARGET, (uintptr_t)term.size(), term.constData());
}

long EditorView::targetStart() const
{
    return editor_->SendScintilla(Sci::SCI_GETTARGETSTART);
}

long EditorView::targetEnd() const
{
    return editor_->SendScintilla(Sci::SCI_GETTARGETEND);
}

void EditorView::scrollRange(long end, long start)
{
    editor_->SendScintilla(Sci::SCI_SCROLLRANGE, (unsigned long)end, start);
}

void EditorView::replaceSelection(const QByteArray &bytes)
{
    editor_->SendScintilla(Sci::SCI_REPLACESEL, 0UL, bytes.constData());
}

void EditorView::insertText(long position, const QByteArray &bytes)
{
    editor_->SendScintilla(Sci::SCI_INSERTTEXT, (uintptr_t)position, bytes.constData());
}

void EditorView::deleteRange(long start, long count)
{
    editor_->SendScintilla(Sci::SCI_DELETERANGE, (unsigned long)start, count);
}

void EditorView::beginUndoAction()
{
    editor_->SendScintilla(Sci::SCI_BEGINUNDOACTION);
}

void EditorView::endUndoAction()
{
    editor_->SendScintilla(Sci::SCI_ENDUNDOACTION);
}
