// Bold, Italic and the no-break space on real editors; the commands' keys and their
// choice of editor by the focus in the program's window.
#include "common/EditorFixture.h"
#include "common/TestSupport.h"

#include "core/AppState.h"
#include "app/Commands.h"
#include "app/MainWindow.h"
#include "editor/Editor.h"
#include "editor/Formatting.h"
#include "preview/PreviewPane.h"

#include <Qsci/qsciscintillabase.h>

using Sci = QsciScintillaBase;

namespace {


// Text with the anchor marked "[" and the caret "|" (both "|" when they coincide).
QByteArray marked(QsciScintillaBase *e)
{
    QByteArray text = EditorText(e);
    const long caret = send(e, Sci::SCI_GETCURRENTPOS);
    const long anchor = send(e, Sci::SCI_GETANCHOR);
    if (caret == anchor)
        return text.insert(caret, '|');
    if (caret > anchor)
        return text.insert(caret, '|').insert(anchor, '[');
    return text.insert(anchor, '[').insert(caret, '|');
}

// The reverse of marked(): sets text, anchor and caret.
void setMarked(QsciScintillaBase *e, QByteArray text)
{
    const long caretAt = text.indexOf('|');
    const long anchorAt = text.indexOf('[');
    long caret = caretAt;
    long anchor = caretAt;
    if (anchorAt >= 0) {
        anchor = anchorAt < caretAt ? anchorAt : anchorAt - 1;
        caret = anchorAt < caretAt ? caretAt - 1 : caretAt;
        text.remove(anchorAt, 1);
    }
    text.remove(text.indexOf('|'), 1);
    SetEditorText(e, text);
    send(e, Sci::SCI_EMPTYUNDOBUFFER);
    send(e, Sci::SCI_SETSEL, anchor, caret);
}

struct ToggleCase {
    const char *name;
    int command;
    QByteArray before;
    QByteArray after;
};

} // namespace

class TestFormatting : public QObject {
    Q_OBJECT
private slots:
    void toggleMarkupCases()
    {
        EditorFixture f;
        QsciScintillaBase *e = f.markdown;
        const QList<ToggleCase> cases = {
            {"selected word gets bold", CmdBold, "say [hello| world", "say **[hello|** world"},
            {"bold removed again", CmdBold, "say **[hello|** world", "say [hello| world"},
            {"backwards selection keeps its direction", CmdBold, "say |hello[ world", "say **|hello[** world"},
            {"caret inside a word", CmdItalic, "say he|llo", "say *he|llo*"},
            {"caret between two spaces", CmdBold, "a | b", "a **|** b"},
            {"four asterisks removed", CmdBold, "a **|** b", "a | b"},
            {"caret after a word's last letter", CmdBold, "hello| world", "**hello|** world"},
            {"caret before a word's first letter", CmdItalic, "say |hello", "say *|hello*"},
            {"bold word, italic removes one each side", CmdItalic, "**[word|**", "*[word|*"},
            {"italic word, bold makes three", CmdBold, "*[word|*", "***[word|***"},
            {"selection at the start of the text", CmdBold, "[word| rest", "**[word|** rest"},
            {"selection at the end of the text", CmdItalic, "rest [word|", "rest *[word|*"},
            {"markers inside the selection are not removed", CmdBold, "[**x**|", "**[**x**|**"},
            {"only the prefix matches", CmdBold, "**[x| y", "****[x|** y"},
            {"multi-byte word", CmdBold, "gr\xC3\xBC|n ok", "**gr\xC3\xBC|n** ok"},
            {"empty document", CmdBold, "|", "**|**"},
            {"selection across lines", CmdItalic, "[a\nb|", "*[a\nb|*"},
        };
        for (const ToggleCase &c : cases) {
            setMarked(e, c.before);
            if (c.command == CmdBold)
                ToggleMarkupIn(e, "**", "**");
            else
                ToggleMarkupIn(e, "*", "*");
            QVERIFY2(marked(e) == c.after,
                     qPrintable(QStringLiteral("%1: got %2").arg(c.name, QString::fromUtf8(marked(e)))));
            // One undo step brings the text back.
            send(e, Sci::SCI_UNDO);
            QVERIFY2(EditorText(e) == QByteArray(c.before).replace("|", "").replace("[", ""), c.name);
            QVERIFY2(!send(e, Sci::SCI_CANUNDO), c.name);
        }
    }

    void boldActsOnTheMarkdownEditorWhateverHasFocus()
    {
        TestApp t;
        QVERIFY(t.start());
        QVERIFY(QTest::qWaitForWindowActive(mainWindow()));
        setMarked(markdown(), "one tw|o");
        setMarked(head(), "head te|xt");
        head()->setFocus();
        QTRY_COMPARE_WITH_TIMEOUT(mainWindow()->focusedPane(), FocusedPane::Head, 10000);
        QTest::keyClick(head(), Qt::Key_B, Qt::ControlModifier);
        QCOMPARE(marked(markdown()), QByteArray("one **tw|o**"));
        QCOMPARE(marked(head()), QByteArray("head te|xt"));
        // The word is enclosed in "*" now, so Italic takes one from each side.
        QTest::keyClick(head(), Qt::Key_I, Qt::ControlModifier);
        QCOMPARE(marked(markdown()), QByteArray("one *tw|o*"));
        // The keyboard undo is one step per command, too.
        markdown()->setFocus();
        QTRY_COMPARE_WITH_TIMEOUT(mainWindow()->focusedPane(), FocusedPane::Markdown, 10000);
        QTest::keyClick(markdown(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(EditorText(markdown()), QByteArray("one **two**"));
    }

    void noBreakSpaceGoesToTheFocusedEditor()
    {
        TestApp t;
        QVERIFY(t.start());
        QVERIFY(QTest::qWaitForWindowActive(mainWindow()));
        setMarked(markdown(), "a|b");
        setMarked(head(), "c[d|e");
        markdown()->setFocus();
        QTRY_COMPARE_WITH_TIMEOUT(mainWindow()->focusedPane(), FocusedPane::Markdown, 10000);
        QTest::keyClick(markdown(), Qt::Key_Space, Qt::ControlModifier);
        QCOMPARE(marked(markdown()), QByteArray("a\xC2\xA0|b"));
        head()->setFocus();
        QTRY_COMPARE_WITH_TIMEOUT(mainWindow()->focusedPane(), FocusedPane::Head, 10000);
        QTest::keyClick(head(), Qt::Key_Space, Qt::ControlModifier);
        QCOMPARE(marked(head()), QByteArray("c\xC2\xA0|e"));

        mainWindow()->preview()->setFocus();
        QTRY_COMPARE_WITH_TIMEOUT(mainWindow()->focusedPane(), FocusedPane::Preview, 10000);
        RunCommand(CmdNoBreakSpace);
        QCOMPARE(marked(markdown()), QByteArray("a\xC2\xA0|b"));
        QCOMPARE(marked(head()), QByteArray("c\xC2\xA0|e"));
    }

    void selectionOrWordUsesDefaultWordCharacters()
    {
        EditorFixture f;
        QsciScintillaBase *e = f.markdown;
        auto range = [e](const QByteArray &text) {
            setMarked(e, text);
            const TextRange r = GetSelectionOrWord(e);
            return QPair<long, long>(r.start, r.end);
        };
        QCOMPARE(range("foo_bar9|.x"), qMakePair(0L, 8L));   // underscore and digits count
        QCOMPARE(range("a-|b"), qMakePair(2L, 3L));           // the word to the right of the caret
        QCOMPARE(range("a -|- b"), qMakePair(3L, 3L));        // no word character on either side
        QCOMPARE(range("\xC3\xA9t|\xC3\xA9 x"), qMakePair(0L, 5L));   // non-ASCII letters are word characters
        QCOMPARE(range("x [a b| y"), qMakePair(2L, 5L));       // a selection is taken as it is
        QCOMPARE(GetSelectionOrWord(e).length(), 3L);
    }
};

QUILLDOWN_TEST_MAIN(TestFormatting)
#include "tst_formatting.moc"
