// Find, Find Next and Find Previous on a real Markdown editor; the commands in the
// program's window, where they ask, report and take their keys.
#include "common/EditorFixture.h"
#include "common/TestSupport.h"

#include "core/AppState.h"
#include "app/Commands.h"
#include "app/EditCommands.h"
#include "app/MainWindow.h"
#include "editor/Editor.h"
#include "editor/Find.h"

#include <Qsci/qsciscintillabase.h>

using Sci = QsciScintillaBase;

namespace {


// "anchor-caret" of the editor (the window's Markdown editor by default).
QString selection(QsciScintillaBase *e = nullptr)
{
    e = e ? e : markdown();
    return QStringLiteral("%1-%2").arg(send(e, Sci::SCI_GETANCHOR)).arg(send(e, Sci::SCI_GETCURRENTPOS));
}

void setText(const QByteArray &text, long anchor, long caret, QsciScintillaBase *e = nullptr)
{
    e = e ? e : markdown();
    SetEditorText(e, text);
    send(e, Sci::SCI_SETSEL, anchor, caret);
}

} // namespace

class TestFind : public QObject {
    Q_OBJECT
private slots:
    void init() { ResetSearchTerm(); }

    void findAsksRemembersAndReports()
    {
        TestApp t;
        QVERIFY(t.start());
        // Find Next and Previous before any Find: nothing happens.
        setText("one two one", 0, 0);
        RunCommand(CmdFindNext);
        RunCommand(CmdFindPrevious);
        QCOMPARE(selection(), QStringLiteral("0-0"));

        // Lower case finds the upper-case text.
        setText("abc HELLO def", 0, 0);
        t.platform.inputAnswers << QStringLiteral("hello");
        RunCommand(CmdFind);
        QCOMPARE(t.platform.inputPrompts, QStringList{QStringLiteral("Find|Find text:")});
        QCOMPARE(selection(), QStringLiteral("4-9"));
        QCOMPARE(SearchTerm(), QStringLiteral("hello"));
        QCOMPARE(t.platform.messageCount(), 0);

        // The only match is selected: Find Next and Find report nothing and move nothing.
        RunCommand(CmdFindNext);
        QCOMPARE(selection(), QStringLiteral("4-9"));
        t.platform.inputAnswers << QStringLiteral("Hello");
        RunCommand(CmdFind);
        QCOMPARE(selection(), QStringLiteral("4-9"));
        QCOMPARE(t.platform.messageCount(), 0);

        // A cancelled or empty dialog: no search, no message, the term stays.
        send(markdown(), Sci::SCI_SETSEL, 0, 0);
        RunCommand(CmdFind);   // no answer queued: the dialog returns ""
        QCOMPARE(t.platform.inputPrompts.size(), 3);
        QCOMPARE(selection(), QStringLiteral("0-0"));
        QCOMPARE(SearchTerm(), QStringLiteral("Hello"));
        RunCommand(CmdFindNext);
        QCOMPARE(selection(), QStringLiteral("4-9"));

        // A term found nowhere: the warning, selection unchanged; F3 stays silent.
        t.platform.inputAnswers << QStringLiteral(" zz ");
        RunCommand(CmdFind);
        QCOMPARE(t.platform.messageCount(), 1);
        const RecordedMessage m = t.platform.lastMessage();
        QCOMPARE(m.text, QStringLiteral("Text not found:  zz "));
        QCOMPARE(m.caption, QStringLiteral("Quilldown"));
        QCOMPARE(m.icon, MessageIcon::Warning);
        QCOMPARE(m.buttons, MessageButtons::Ok);
        QCOMPARE(selection(), QStringLiteral("4-9"));
        QCOMPARE(SearchTerm(), QStringLiteral(" zz "));
        RunCommand(CmdFindNext);
        RunCommand(CmdFindPrevious);
        QCOMPARE(t.platform.messageCount(), 1);
        QCOMPARE(selection(), QStringLiteral("4-9"));

        // An empty document: the warning, nothing else.
        setText("", 0, 0);
        t.platform.inputAnswers << QStringLiteral("x");
        RunCommand(CmdFind);
        QCOMPARE(t.platform.messageCount(), 2);
        QCOMPARE(FindInEditor(markdown(), "x", FindDirection::Backwards), 0L);
        QCOMPARE(FindInEditor(markdown(), "", FindDirection::Forwards), 0L);
    }

    void nextAndPreviousWalkAndWrap()
    {
        EditorFixture f;
        QsciScintillaBase *e = f.markdown;
        //                0123456789012345678901
        setText(QByteArray("cat dog Cat dog CAT."), 8, 8, e);
        QCOMPARE(FindInEditor(e, "cat", FindDirection::Forwards), 9L);
        QCOMPARE(selection(e), QStringLiteral("8-11"));
        QCOMPARE(FindInEditor(e, "cat", FindDirection::Forwards), 17L);
        QCOMPARE(selection(e), QStringLiteral("16-19"));
        // After the last match, forwards starts again at the top.
        QCOMPARE(FindInEditor(e, "cat", FindDirection::Forwards), 1L);
        QCOMPARE(selection(e), QStringLiteral("0-3"));
        // Before the first match, backwards starts again at the end.
        QCOMPARE(FindInEditor(e, "cat", FindDirection::Backwards), 17L);
        QCOMPARE(selection(e), QStringLiteral("16-19"));
        // From a selection, the nearest match that ends at or before its start.
        QCOMPARE(FindInEditor(e, "cat", FindDirection::Backwards), 9L);
        QCOMPARE(selection(e), QStringLiteral("8-11"));
        send(e, Sci::SCI_SETSEL, 10, 10);
        QCOMPARE(FindInEditor(e, "cat", FindDirection::Backwards), 1L);
        QCOMPARE(selection(e), QStringLiteral("0-3"));

        // Overlapping matches are found one letter on.
        setText("xaaaay", 1, 3, e);
        QCOMPARE(FindInEditor(e, "AA", FindDirection::Forwards), 3L);
        QCOMPARE(selection(e), QStringLiteral("2-4"));
        QCOMPARE(FindInEditor(e, "aa", FindDirection::Forwards), 4L);
        QCOMPARE(selection(e), QStringLiteral("3-5"));
        QCOMPARE(FindInEditor(e, "aa", FindDirection::Forwards), 2L);
        QCOMPARE(selection(e), QStringLiteral("1-3"));

        // Plain text: regular-expression characters mean themselves.
        setText("a.c abc a.c", 0, 0, e);
        QCOMPARE(FindInEditor(e, "a.c", FindDirection::Forwards), 1L);
        QCOMPARE(FindInEditor(e, "a.c", FindDirection::Forwards), 9L);
        QCOMPARE(send(e, Sci::SCI_GETSEARCHFLAGS), 0L);
    }

    void multiByteTermsAndTheHeadEditorsFocus()
    {
        TestApp t;
        QVERIFY(t.start());
        QVERIFY(QTest::qWaitForWindowActive(mainWindow()));
        // "Grüße, GRUSS, GRüßE": positions are byte offsets; the ASCII letters fold.
        const QByteArray text("Gr\xC3\xBC\xC3\x9F" "e, GRUSS, GR\xC3\xBC\xC3\x9F" "E");
        setText(text, 0, 0);
        SetEditorText(mainWindow()->headEditor(), "gr\xC3\xBC\xC3\x9F" "e");
        mainWindow()->headEditor()->setFocus();
        QTRY_COMPARE_WITH_TIMEOUT(mainWindow()->focusedPane(), FocusedPane::Head, 10000);
        t.platform.inputAnswers << QString::fromUtf8("grüße");
        QTest::keyClick(mainWindow()->headEditor(), Qt::Key_F, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(t.platform.inputPrompts.size(), 1, 10000);
        QCOMPARE(selection(), QStringLiteral("0-7"));
        QTest::keyClick(mainWindow()->headEditor(), Qt::Key_F3);
        QCOMPARE(selection(), QStringLiteral("16-23"));
        QTest::keyClick(mainWindow()->headEditor(), Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(selection(), QStringLiteral("0-7"));
        QCOMPARE(send(mainWindow()->headEditor(), Sci::SCI_GETSELECTIONEND), 0L);
        QCOMPARE(t.platform.messageCount(), 0);
    }

    void matchIsScrolledIntoView()
    {
        EditorFixture f;
        QsciScintillaBase *e = f.markdown;
        f.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&f.window));
        QByteArray text;
        for (int i = 0; i < 2000; ++i)
            text += "line " + QByteArray::number(i) + "\n";
        text += "needle\n";
        setText(text, 0, 0, e);
        QCOMPARE(send(e, Sci::SCI_GETFIRSTVISIBLELINE), 0L);
        QVERIFY(FindInEditor(e, "NEEDLE", FindDirection::Forwards) > 0);
        const long first = send(e, Sci::SCI_GETFIRSTVISIBLELINE);
        const long onScreen = send(e, Sci::SCI_LINESONSCREEN);
        QVERIFY(first <= 2000 && 2000 < first + qMax(1L, onScreen));
    }
};

QUILLDOWN_TEST_MAIN(TestFind)
#include "tst_find.moc"
