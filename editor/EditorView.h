#pragma once
// A typed view of one editing component: positions and lines as longs, text as the
// component's bytes, so callers never cast the component's message results.

#include <QByteArray>

class QsciScintillaBase;

class EditorView {
public:
    explicit EditorView(QsciScintillaBase *editor) : editor_(editor) {}
    QsciScintillaBase *widget() const { return editor_; }

    long length() const;
    // The whole text (UTF-8 bytes, NUL bytes included).
    QByteArray text() const;
    // Replaces the whole text with these bytes, unchanged.
    void setText(const QByteArray &bytes);
    // Bytes [start, end); empty when end <= start or outside the text.
    QByteArray textRange(long start, long end) const;

    long caret() const;
    long anchor() const;
    long selectionStart() const;
    long selectionEnd() const;
    void setSelection(long anchor, long caret);
    void setCaret(long position);
    void setAnchor(long position);

    long lineFromPosition(long position) const;
    long positionFromLine(long line) const;
    // Where the line's leading blanks end.
    long lineIndentPosition(long line) const;
    long firstVisibleLine() const;
    long linesOnScreen() const;
    // Start and end of the word around `position` (the component's word characters).
    long wordStart(long position) const;
    long wordEnd(long position) const;
    long endStyled() const;

    // Searches [start, end) for `term`, backwards when start > end; the match's start or -1,
    // and the target is left on the match.
    long searchInTarget(long start, long end, const QByteArray &term);
    long targetStart() const;
    long targetEnd() const;
    // Scrolls so that [start, end) is in view, start preferred.
    void scrollRange(long end, long start);

    void replaceSelection(const QByteArray &bytes);
    void insertText(long position, const QByteArray &bytes);
    void deleteRange(long start, long count);
    void beginUndoAction();
    void endUndoAction();

private:
    QsciScintillaBase *editor_;
};
