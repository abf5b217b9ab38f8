#include "editor/Graphemes.h"

#include "editor/Editor.h"

#include <QString>
#include <QTextBoundaryFinder>
#include <algorithm>
#include <utility>
#include <Qsci/qsciscintillabase.h>

using Sci = QsciScintillaBase;

namespace {

bool isContinuationByte(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// One code point decoded from the front of `bytes`: its value and how many bytes it takes.
// A byte that does not begin a well-formed sequence counts alone as U+FFFD, the way the
// component shows it as a byte of its own.
std::pair<char32_t, qsizetype> decodeOne(QByteArrayView bytes)
{
    const auto lead = static_cast<unsigned char>(bytes.at(0));
    const qsizetype length = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2 : lead >= 0xE0 && lead < 0xF0 ? 3
                                                                       : lead >= 0xF0 && lead < 0xF5 ? 4 : 0;
    if (length == 1)
        return {lead, 1};
    if (length == 0 || bytes.size() < length)
        return {QChar::ReplacementCharacter, 1};
    char32_t value = lead & (0xFF >> (length + 1));
    for (qsizetype i = 1; i < length; ++i) {
        if (!isContinuationByte(bytes.at(i)))
            return {QChar::ReplacementCharacter, 1};
        value = (value << 6) | (static_cast<unsigned char>(bytes.at(i)) & 0x3F);
    }
    const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < smallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return {QChar::ReplacementCharacter, 1};
    return {value, length};
}

// The boundaries of `text` as byte offsets, in order, 0 and text.size() included.
QList<qsizetype> graphemeBoundaries(QByteArrayView text)
{
    const Utf8Text decoded = DecodeUtf8(text);
    const QString &units = decoded.text;
    const QList<qsizetype> &byteOfUnit = decoded.byteOfUnit;
    QList<qsizetype> boundaries{0};
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, units);
    while (finder.toNextBoundary() != -1) {
        const qsizetype at = qMin(byteOfUnit[finder.position()], text.size());
        if (at > boundaries.back())
            boundaries.append(at);
    }
    if (boundaries.back() != text.size())
        boundaries.append(text.size());
    return boundaries;
}

// Clusters are short; a window this wide around the caret holds every one that matters
// while a long line costs no more than a short one.
constexpr long kWindow = 256;

struct LineWindow {
    long start = 0;
    QByteArray bytes;
};

LineWindow windowAround(QsciScintillaBase *editor, long position)
{
    const long line = editor->SendScintilla(Sci::SCI_LINEFROMPOSITION, (unsigned long)position);
    long start = qMax(editor->SendScintilla(Sci::SCI_POSITIONFROMLINE, (unsigned long)line), position - kWindow);
    const long end = qMin(editor->SendScintilla(Sci::SCI_GETLINEENDPOSITION, (unsigned long)line), position + kWindow);
    LineWindow window{start, GetTextRange(editor, start, end)};
    // Start on the first byte of a code point.
    qsizetype skip = 0;
    while (skip < window.bytes.size() && skip < 4 && isContinuationByte(window.bytes.at(skip)))
        ++skip;
    window.start += skip;
    window.bytes.remove(0, skip);
    return window;
}

} // namespace

Utf8Text DecodeUtf8(QByteArrayView bytes)
{
    Utf8Text decoded;
    decoded.text.reserve(bytes.size());
    decoded.byteOfUnit.reserve(bytes.size() + 1);
    for (qsizetype byte = 0; byte < bytes.size();) {
        const auto [value, length] = decodeOne(bytes.sliced(byte));
        if (QChar::requiresSurrogates(value)) {
            decoded.text.append(QChar(QChar::highSurrogate(value)));
            decoded.text.append(QChar(QChar::lowSurrogate(value)));
            decoded.byteOfUnit.append(byte);
        } else {
            decoded.text.append(QChar(char16_t(value)));
        }
        decoded.byteOfUnit.append(byte);
        byte += length;
    }
    decoded.byteOfUnit.append(bytes.size());
    return decoded;
}

qsizetype Utf8Text::unitOfByte(qsizetype byte) const
{
    const auto at = std::lower_bound(byteOfUnit.cbegin(), byteOfUnit.cend(), byte);
    return at - byteOfUnit.cbegin();
}

qsizetype NextGraphemeBoundary(QByteArrayView text, qsizetype offset)
{
    for (const qsizetype boundary : graphemeBoundaries(text))
        if (boundary > offset)
            return boundary;
    return text.size();
}

qsizetype PreviousGraphemeBoundary(QByteArrayView text, qsizetype offset)
{
    qsizetype previous = 0;
    for (const qsizetype boundary : graphemeBoundaries(text)) {
        if (boundary >= offset)
            break;
        previous = boundary;
    }
    return previous;
}

bool IsGraphemeBoundary(QByteArrayView text, qsizetype offset)
{
    return graphemeBoundaries(text).contains(offset);
}

long NextGraphemePosition(QsciScintillaBase *editor, long position)
{
    const LineWindow window = windowAround(editor, position);
    if (position < window.start || position >= window.start + window.bytes.size())
        return editor->SendScintilla(Sci::SCI_POSITIONAFTER, (unsigned long)position);
    return window.start + long(NextGraphemeBoundary(window.bytes, position - window.start));
}

long PreviousGraphemePosition(QsciScintillaBase *editor, long position)
{
    const LineWindow window = windowAround(editor, position);
    if (position <= window.start || position > window.start + window.bytes.size())
        return editor->SendScintilla(Sci::SCI_POSITIONBEFORE, (unsigned long)position);
    return window.start + long(PreviousGraphemeBoundary(window.bytes, position - window.start));
}

bool IsGraphemePosition(QsciScintillaBase *editor, long position)
{
    const LineWindow window = windowAround(editor, position);
    if (position <= window.start || position >= window.start + window.bytes.size())
        return true;
    return IsGraphemeBoundary(window.bytes, position - window.start);
}
