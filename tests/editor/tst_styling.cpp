// Hard-break styling of the Markdown editor, plain styling of the head editor, and bytes
// passing through the editors unchanged.
#include "common/EditorFixture.h"
#include "common/TestSupport.h"

#include "core/AppState.h"
#include "editor/Editor.h"
#include "editor/MarkdownStyle.h"

#include <Qsci/qsciscintillabase.h>

using Sci = QsciScintillaBase;

namespace {

// One character per byte: '_' for style 0 (hard break), '.' for style 32, else '?'.
QByteArray pattern(const std::vector<StyleRun> &runs)
{
    QByteArray out;
    for (const StyleRun &run : runs)
        out += QByteArray(run.length, run.style == 0 ? '_' : run.style == 32 ? '.' : '?');
    return out;
}

QByteArray pattern(const QByteArray &bytes)
{
    return pattern(MarkdownStyleRuns(bytes.constData(), bytes.size()));
}

QByteArray editorStyles(QsciScintillaBase *editor)
{
    const long length = editor->SendScintilla(Sci::SCI_GETLENGTH);
    QByteArray out;
    for (long p = 0; p < length; ++p) {
        const long style = editor->SendScintilla(Sci::SCI_GETSTYLEAT, (unsigned long)p);
        out += style == 0 ? '_' : style == 32 ? '.' : '?';
    }
    return out;
}

void styleAll(QsciScintillaBase *editor)
{
    editor->SendScintilla(Sci::SCI_COLOURISE, 0UL, -1L);
}

struct StyleCase {
    const char *name;
    QByteArray text;
    QByteArray expected;
};

// The rules on texts that start at a line start.
const QList<StyleCase> &styleCases()
{
    static const QList<StyleCase> cases = {
        {"two trailing spaces", "a  \nb", ".__.."},
        {"one trailing space", "a \nb", "...."},
        {"only spaces", "    \n", "....."},
        {"only blanks, many", "\t \t \t  \n\t\t\n", "..........."},
        {"space and tab", "a \t\n", ".__."},
        {"blanks between letters", "a  b\n", "....."},
        {"end of text", "ab  ", "..__"},
        {"one blank at end of text", "ab ", "..."},
        {"CR LF steps", "a  \r\nb  \r\n", ".__...__.."},
        {"lone CR ends a line", "a  \rb", ".__.."},
        {"NUL ends a line", QByteArray("a  \0b", 5), ".__.."},
        {"multi-byte text before blanks", "\xC3\xA9  \n", "..__."},
        {"invalid UTF-8 counts as text", "\xFF\xFE   \n", "..___."},
        {"leading blanks, trailing run", "  x   \n", "...___."},
        {"blank line between", "a  \n\nb\t\t", ".__...__"},
        {"empty", "", ""},
    };
    return cases;
}

} // namespace

class TestStyling : public QObject {
    Q_OBJECT
private slots:
    void styleRunsFollowTheRules()
    {
        for (const StyleCase &c : styleCases())
            QVERIFY2(pattern(c.text) == c.expected,
                     qPrintable(QStringLiteral("%1: got %2").arg(c.name, QString::fromLatin1(pattern(c.text)))));
        // Neighbours of one style are merged; nothing empty is produced.
        const std::vector<StyleRun> runs = MarkdownStyleRuns("a\nb\nc  \n", 8);
        QCOMPARE(runs, (std::vector<StyleRun>{{5, 32}, {2, 0}, {1, 32}}));
    }

    void realEditorsStyleByTheirRole()
    {
        EditorFixture f;
        QsciScintillaBase *markdown = f.markdown;
        QsciScintillaBase *head = f.head;
        for (const StyleCase &c : styleCases()) {
            SetEditorText(markdown, c.text);
            SetEditorText(head, c.text);
            styleAll(markdown);
            styleAll(head);
            QVERIFY2(editorStyles(markdown) == c.expected,
                     qPrintable(QStringLiteral("%1: got %2").arg(c.name, QString::fromLatin1(editorStyles(markdown)))));
            QCOMPARE(editorStyles(head), QByteArray(c.text.size(), '.'));
        }
        // The hard-break style is light cyan on both editors; the rest white.
        for (QsciScintillaBase *e : {markdown, head}) {
            QCOMPARE(e->SendScintilla(Sci::SCI_STYLEGETBACK, 0UL), 0xFFFFE0L);
            QCOMPARE(e->SendScintilla(Sci::SCI_STYLEGETBACK, 32UL), 0xFFFFFFL);
            QCOMPARE(e->SendScintilla(Sci::SCI_STYLEGETBACK, 7UL), 0xFFFFFFL);
            QCOMPARE(e->SendScintilla(Sci::SCI_STYLEGETFORE, 0UL), 0L);
        }
    }

    // Typing restyles from the start of the edited line, while the window paints.
    void editsRestyleTheWholeLine()
    {
        EditorFixture f;
        QsciScintillaBase *markdown = f.markdown;
        f.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        SetEditorText(markdown, "one  \ntwo\n");
        QTRY_COMPARE_WITH_TIMEOUT(editorStyles(markdown), QByteArray("...__.....").constData(), 10000);
        // Text after the blanks: they are no longer a hard break.
        markdown->SendScintilla(Sci::SCI_INSERTTEXT, (uintptr_t)5, "x");
        markdown->viewport()->update();
        QTRY_COMPARE_WITH_TIMEOUT(editorStyles(markdown), QByteArray("...........").constData(), 10000);
        // Deleting it makes them one again; blanks added to the second line start one there.
        markdown->SendScintilla(Sci::SCI_DELETERANGE, 5UL, 1L);
        markdown->SendScintilla(Sci::SCI_INSERTTEXT, (uintptr_t)9, " \t");
        markdown->viewport()->update();
        QTRY_COMPARE_WITH_TIMEOUT(editorStyles(markdown), QByteArray("...__....__.").constData(), 10000);
    }

    void bytesPassUnchanged()
    {
        EditorFixture f;
        const QByteArray bytes("a\0b\xFF\xC3(\xE2\x82 \xC2\xA0z\n", 14);
        for (QsciScintillaBase *e : {f.markdown, f.head}) {
            SetEditorText(e, bytes);
            QCOMPARE(e->SendScintilla(Sci::SCI_GETLENGTH), long(bytes.size()));
            QCOMPARE(EditorText(e), bytes);
            QCOMPARE(GetTextRange(e, 0, bytes.size()), bytes);
            QCOMPARE(GetTextRange(e, 1, 4), QByteArray("\0b\xFF", 3));
            // Empty or reversed ranges, and stretches outside the text, read as empty.
            QCOMPARE(GetTextRange(e, 3, 3), QByteArray());
            QCOMPARE(GetTextRange(e, 4, 2), QByteArray());
            QCOMPARE(GetTextRange(e, -2, 1), QByteArray());
            QCOMPARE(GetTextRange(e, bytes.size() - 1, bytes.size() + 2), QByteArray());
            styleAll(e);
        }
        // The NUL byte ends a "line" for the styling, too.
        QCOMPARE(editorStyles(f.markdown), QByteArray(bytes.size(), '.'));
    }
};

QUILLDOWN_TEST_MAIN(TestStyling)
#include "tst_styling.moc"
