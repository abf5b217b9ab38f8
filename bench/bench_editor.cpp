// Editor speed on a large document: styling the whole text and handling one typed
// character (notifications and restyle of the visible lines) at the end and in the middle.
//
//   QT_QPA_PLATFORM=offscreen ./bench_editor [megabytes] [keystrokes]

#include "BenchPrelude.h"
#include "core/AppState.h"
#include "editor/Editor.h"
#include "editor/MarkdownStyle.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <Qsci/qsciscintillabase.h>
#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

using Sci = QsciScintillaBase;

namespace {

// Long and short lines, trailing blanks (hard breaks and single ones), tabs and
// multi-byte text, in a fixed pseudo-random mix.
QByteArray generateMarkdown(qint64 targetBytes)
{
    std::mt19937 random(20261208);
    const QList<QByteArray> words = {"quill", "down", "editor", "preview", "Markdown", "caf\xC3\xA9",
                                     "\xE6\xBC\xA2\xE5\xAD\x97", "na\xC3\xAFve", "\xF0\x9F\x98\x80", "text",
                                     "**bold**", "*italic*", "`code`", "[link](http://example.org)"};
    const QList<QByteArray> endings = {"", "", "", "  ", " ", "\t\t", "   ", " \t"};
    QByteArray out;
    out.reserve(targetBytes + 2048);
    int line = 0;
    while (out.size() < targetBytes) {
        const int kind = int(random() % 10);
        if (kind == 0)
            out += "## Section " + QByteArray::number(line);
        else if (kind == 1)
            out += "- item " + QByteArray::number(line);
        else if (kind == 2)
            out += "    indented code\tline";
        else if (kind == 3)
            out += "";
        else {
            // Paragraph lines of 5 to 200 words.
            const int count = 5 + int(random() % (kind == 9 ? 200 : 20));
            for (int i = 0; i < count; ++i) {
                if (i)
                    out += ' ';
                out += words.at(int(random() % words.size()));
            }
        }
        out += endings.at(int(random() % endings.size()));
        out += '\n';
        ++line;
    }
    return out;
}

// The styling rules written out once more, byte by byte, as a reference.
QByteArray referenceStyles(const QByteArray &text)
{
    QByteArray styles(text.size(), char(32));
    qint64 lineStart = 0;
    for (qint64 p = 0; p <= text.size(); ++p) {
        const bool end = p == text.size();
        const char c = end ? '\n' : text.at(p);
        if (!end && c != '\r' && c != '\n' && c != '\0')
            continue;
        qint64 blanks = 0;
        while (p - blanks > lineStart && (text.at(p - blanks - 1) == ' ' || text.at(p - blanks - 1) == '\t'))
            ++blanks;
        if (blanks >= 2 && p - blanks > lineStart)
            std::fill(styles.begin() + (p - blanks), styles.begin() + p, char(0));
        lineStart = p + 1;
    }
    return styles;
}

QByteArray editorStyles(QsciScintillaBase *editor)
{
    const long length = editor->SendScintilla(Sci::SCI_GETLENGTH);
    QByteArray cells(2 * length + 2, '\0');
    editor->SendScintilla(Sci::SCI_GETSTYLEDTEXT, 0L, length, cells.data());
    QByteArray styles(length, '\0');
    char *out = styles.data();
    for (long i = 0; i < length; ++i)
        out[i] = cells.at(2 * i + 1);
    return styles;
}

double ms(qint64 nanoseconds)
{
    return nanoseconds / 1e6;
}

// What painting asks for after an edit: styling up to the end of the last visible line.
void styleVisibleLines(QsciScintillaBase *editor)
{
    const long first = editor->SendScintilla(Sci::SCI_GETFIRSTVISIBLELINE);
    const long onScreen = editor->SendScintilla(Sci::SCI_LINESONSCREEN);
    const long lastLine = editor->SendScintilla(Sci::SCI_DOCLINEFROMVISIBLE, (unsigned long)(first + onScreen));
    const long end = editor->SendScintilla(Sci::SCI_GETLINEENDPOSITION, (unsigned long)lastLine);
    const long styled = editor->SendScintilla(Sci::SCI_GETENDSTYLED);
    if (styled < end)
        editor->SendScintilla(Sci::SCI_COLOURISE, (unsigned long)styled, end);
}

struct Figures {
    double median;
    double p99;
    double worst;
};

Figures typeCharacters(QApplication &application, QsciScintillaBase *editor, long position, int count, bool repaint)
{
    editor->SendScintilla(Sci::SCI_GOTOPOS, (unsigned long)position);
    editor->SendScintilla(Sci::SCI_SCROLLCARET);
    styleVisibleLines(editor);
    application.processEvents();
    std::vector<qint64> times;
    QElapsedTimer timer;
    for (int i = 0; i < count; ++i) {
        const QString text(QChar(u'a' + i % 26));
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A + i % 26, Qt::NoModifier, text);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_A + i % 26, Qt::NoModifier, text);
        timer.start();
        QApplication::sendEvent(editor, &press);
        QApplication::sendEvent(editor, &release);
        if (repaint)
            editor->viewport()->repaint();
        else
            styleVisibleLines(editor);
        times.push_back(timer.nsecsElapsed());
    }
    std::sort(times.begin(), times.end());
    return {ms(times[times.size() / 2]), ms(times[std::min(times.size() - 1, times.size() * 99 / 100)]),
            ms(times.back())};
}

} // namespace

int main(int argc, char **argv)
{
    BenchPreludeOptions options;
    options.engine = false;
    BenchApplication prelude(argc, argv, options);
    QApplication &application = prelude.application();
    const double megabytes = argc > 1 ? QByteArray(argv[1]).toDouble() : 5.0;
    const int keystrokes = argc > 2 ? QByteArray(argv[2]).toInt() : 1000;

    auto *editor = new QsciScintillaBase;
    editor->resize(800, 600);
    // Counts the edits the editor reports, as the document counts them.
    int edits = 0;
    EditorHooks hooks;
    hooks.edited = [&edits] { ++edits; };
    ConnectEditorNotifications(editor, EditorRole::Markdown, hooks);
    SetupEditor(editor);
    editor->show();
    application.processEvents();

    const QByteArray text = generateMarkdown(qint64(megabytes * 1024 * 1024));
    const long lines = text.count('\n');
    std::printf("document: %lld bytes, %ld lines\n", (long long)text.size(), lines);

    QElapsedTimer timer;
    timer.start();
    SetEditorText(editor, text);
    std::printf("load (SCI_CLEARALL + SCI_APPENDTEXT): %.1f ms\n", ms(timer.nsecsElapsed()));

    // Whole-document styling through the real notification, five times.
    std::vector<qint64> full;
    for (int i = 0; i < 5; ++i) {
        timer.start();
        editor->SendScintilla(Sci::SCI_COLOURISE, 0UL, -1L);
        full.push_back(timer.nsecsElapsed());
    }
    std::sort(full.begin(), full.end());
    std::printf("style whole document: median %.1f ms, best %.1f ms, worst %.1f ms (5 runs)\n", ms(full[2]),
                ms(full.front()), ms(full.back()));
    const bool exact = editorStyles(editor) == referenceStyles(text);
    std::printf("styles equal the byte-by-byte reference: %s\n", exact ? "yes" : "NO");

    // The pure rule on the same bytes, without the component.
    timer.start();
    const std::vector<StyleRun> runs = MarkdownStyleRuns(text.constData(), text.size());
    std::printf("style runs alone (no component): %.1f ms, %zu runs\n", ms(timer.nsecsElapsed()), runs.size());

    edits = 0;
    const long length = editor->SendScintilla(Sci::SCI_GETLENGTH);
    const long middle = editor->SendScintilla(Sci::SCI_POSITIONFROMLINE,
                                              (unsigned long)editor->SendScintilla(Sci::SCI_LINEFROMPOSITION, length / 2UL));
    const Figures atEnd = typeCharacters(application, editor, length, keystrokes, false);
    const Figures inMiddle = typeCharacters(application, editor, middle, keystrokes, false);
    std::printf("keystroke at end    (key event + notifications + restyle): median %.3f ms, p99 %.3f ms, worst %.3f ms (%d keys)\n",
                atEnd.median, atEnd.p99, atEnd.worst, keystrokes);
    std::printf("keystroke in middle (key event + notifications + restyle): median %.3f ms, p99 %.3f ms, worst %.3f ms (%d keys)\n",
                inMiddle.median, inMiddle.p99, inMiddle.worst, keystrokes);
    const int painted = std::max(1, keystrokes / 5);
    const Figures paintEnd = typeCharacters(application, editor, editor->SendScintilla(Sci::SCI_GETLENGTH), painted, true);
    const Figures paintMiddle = typeCharacters(application, editor, middle, painted, true);
    std::printf("keystroke with a full repaint, for context: end median %.3f ms p99 %.3f ms; middle median %.3f ms p99 %.3f ms (%d keys)\n",
                paintEnd.median, paintEnd.p99, paintMiddle.median, paintMiddle.p99, painted);
    std::vector<qint64> paints;
    for (int i = 0; i < painted; ++i) {
        timer.start();
        editor->viewport()->repaint();
        paints.push_back(timer.nsecsElapsed());
    }
    std::sort(paints.begin(), paints.end());
    std::printf("repaint alone, no edit: median %.3f ms (%d paints)\n", ms(paints[paints.size() / 2]), painted);
    std::printf("change signal seen: %s\n", edits > 0 ? "yes" : "NO");
    const bool stillExact = editorStyles(editor) == referenceStyles(EditorText(editor));
    editor->SendScintilla(Sci::SCI_COLOURISE, 0UL, -1L);
    std::printf("styles after typing equal the reference: %s\n",
                stillExact || editorStyles(editor) == referenceStyles(EditorText(editor)) ? "yes" : "NO");
    // One line per figure for the benchmark table: row|measure|figure|baseline
    std::printf("row|Keystroke at the end of a %g MB document, median / p99 (%d keys)|%.3f / %.3f ms|-\n", megabytes,
                keystrokes, atEnd.median, atEnd.p99);
    std::printf("row|Keystroke in the middle of a %g MB document, median / p99 (%d keys)|%.3f / %.3f ms|-\n",
                megabytes, keystrokes, inMiddle.median, inMiddle.p99);
    std::printf("row|Styling the whole %g MB document (median of 5)|%.1f ms|-\n", megabytes, ms(full[2]));
    delete editor;
    return exact ? 0 : 1;
}
