#pragma once
// Where a writer's characters begin and end in the component's UTF-8 bytes: a family
// emoji or a letter with its accents is one character on screen however many code points
// it takes, so the caret steps over it whole and typing never lands inside it.

#include <QByteArrayView>
#include <QList>
#include <QString>

class QsciScintillaBase;

// Bytes of the component as UTF-16 text for Qt's text classes. A byte that is not part of
// well-formed UTF-8 becomes a U+FFFD of its own, as the component shows it.
struct Utf8Text {
    QString text;
    // The byte offset where each UTF-16 unit's code point begins, and the byte count last.
    QList<qsizetype> byteOfUnit;
    // The first unit whose code point begins at or after `byte`.
    qsizetype unitOfByte(qsizetype byte) const;
};
Utf8Text DecodeUtf8(QByteArrayView bytes);

// The first grapheme boundary after `offset` in `text` (text.size() at the end). `offset`
// may lie anywhere, even inside a code point's bytes.
qsizetype NextGraphemeBoundary(QByteArrayView text, qsizetype offset);
// The last grapheme boundary before `offset` (0 at the start).
qsizetype PreviousGraphemeBoundary(QByteArrayView text, qsizetype offset);
// Whether a caret at `offset` stands between two whole graphemes (both ends count).
bool IsGraphemeBoundary(QByteArrayView text, qsizetype offset);

// The same on the editor's text around `position`, looking no further than the line that
// holds it (a line end is always a boundary).
long NextGraphemePosition(QsciScintillaBase *editor, long position);
long PreviousGraphemePosition(QsciScintillaBase *editor, long position);
bool IsGraphemePosition(QsciScintillaBase *editor, long position);
