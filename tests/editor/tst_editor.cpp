// Editor setup, the key map, auto-indent, the change signal, and the Font and Word Wrap
// commands, on real editors. The key map, the change signal and the commands are checked
// in the program's window: its shortcuts, status bar and menu are part of what they do.
#include "common/EditorFixture.h"
#include "common/TestSupport.h"

#include <QSignalSpy>

#include "core/AppState.h"
#include "app/Commands.h"
#include "app/MainWindow.h"
#include "editor/Editor.h"
#include "editor/EditorNotify.h"
#include "settings/Settings.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <Qsci/qsciscintillabase.h>

using Sci = QsciScintillaBase;

namespace {


QByteArray styleFont(QsciScintillaBase *e, unsigned long style)
{
    QByteArray name(256, '\0');
    e->SendScintilla(Sci::SCI_STYLEGETFONT, style, name.data());
    return QByteArray(name.constData());
}

void focusEditor(QsciScintillaBase *e)
{
    e->setFocus();
    QTRY_VERIFY_WITH_TIMEOUT(e->hasFocus(), 10000);
}

// Text, caret and anchor in one comparable value.
QString state(QsciScintillaBase *e)
{
    return QString::fromUtf8(EditorText(e)) + QStringLiteral(" @%1/%2")
                                                   .arg(send(e, Sci::SCI_GETCURRENTPOS))
                                                   .arg(send(e, Sci::SCI_GETANCHOR));
}

void setState(QsciScintillaBase *e, const QByteArray &text, long anchor, long caret)
{
    SetEditorText(e, text);
    send(e, Sci::SCI_SETSEL, anchor, caret);
}

} // namespace

class TestEditor : public QObject {
    Q_OBJECT
private slots:
    void setupConfiguresBothEditors()
    {
        EditorFixture f;
        for (QsciScintillaBase *e : {f.markdown, f.head}) {
            // A setup on a used editor leaves it empty, unmodified and without history.
            SetEditorText(e, "some text");
            QVERIFY(send(e, Sci::SCI_CANUNDO));
            SetupEditor(e);
            QCOMPARE(send(e, Sci::SCI_GETLENGTH), 0L);
            QCOMPARE(send(e, Sci::SCI_CANUNDO), 0L);
            QCOMPARE(send(e, Sci::SCI_GETMODIFY), 0L);
            QCOMPARE(send(e, Sci::SCI_GETSCROLLWIDTH), long(qMax(1, e->width() * 3 / 4)));

            QCOMPARE(send(e, Sci::SCI_GETCODEPAGE), long(Sci::SC_CP_UTF8));
            QCOMPARE(send(e, Sci::SCI_GETMARGINWIDTHN, 1), 0L);
            QCOMPARE(send(e, Sci::SCI_GETSCROLLWIDTHTRACKING), 1L);
            QCOMPARE(send(e, Sci::SCI_GETMODEVENTMASK), long(Sci::SC_MOD_BEFOREINSERT | Sci::SC_MOD_BEFOREDELETE));
            QCOMPARE(send(e, Sci::SCI_GETTABWIDTH), 2L);
            QCOMPARE(send(e, Sci::SCI_GETUSETABS), 0L);
            QCOMPARE(send(e, Sci::SCI_GETLEXER), long(Sci::SCLEX_CONTAINER));
            QByteArray shown(16, '\0');
            e->SendScintilla(Sci::SCI_GETREPRESENTATION, (uintptr_t) "\xC2\xA0", shown.data());
            QCOMPARE(QByteArray(shown.constData()), QByteArray("~"));
            // The configured face where it is installed, else the system's fixed-width one.
            QCOMPARE(styleFont(e, 32), EditorFontFamily(QStringLiteral("Courier New")).toUtf8());
            QCOMPARE(styleFont(e, 0), EditorFontFamily(QStringLiteral("Courier New")).toUtf8());
            QCOMPARE(send(e, Sci::SCI_STYLEGETSIZE, 32), 8L);
            QCOMPARE(send(e, Sci::SCI_GETWRAPMODE), 0L);
            QCOMPARE(e->frameShape(), QFrame::NoFrame);
        }
    }

    void textIsReadWholeWhereverTheEditsWere()
    {
        QsciScintillaBase e;
        SetupEditor(&e);
        QByteArray expected("first\0line\r\nsecond \xC3\xA9 line\n", 26);
        QCOMPARE(EditorText(&e), QByteArray());
        SetEditorText(&e, expected);
        QCOMPARE(EditorText(&e), expected);
        // Edits in the middle and at the start leave the component's buffer in two runs.
        for (const long at : {10L, 0L, long(expected.size())}) {
            send(&e, Sci::SCI_INSERTTEXT, at, reinterpret_cast<long>("<ins>"));
            expected.insert(at, "<ins>");
            QCOMPARE(EditorText(&e), expected);
        }
        send(&e, Sci::SCI_DELETERANGE, 3, 4);
        expected.remove(3, 4);
        QCOMPARE(EditorText(&e), expected);
    }

    void tabIndentsByTwoSpacesAndLinesMove()
    {
        EditorFixture f;
        QVERIFY(f.showActive());
        for (QsciScintillaBase *e : {f.markdown, f.head}) {
            focusEditor(e);
            setState(e, "abc\ndef", 0, 0);
            QTest::keyClick(e, Qt::Key_Tab);
            QCOMPARE(state(e), QStringLiteral("  abc\ndef @2/2"));
            QTest::keyClick(e, Qt::Key_Backtab);
            QCOMPARE(state(e), QStringLiteral("abc\ndef @0/0"));
            QTest::keyClick(e, Qt::Key_Down, Qt::ControlModifier | Qt::ShiftModifier);
            QCOMPARE(QString::fromUtf8(EditorText(e)), QStringLiteral("def\nabc"));
            QTest::keyClick(e, Qt::Key_Up, Qt::ControlModifier | Qt::ShiftModifier);
            QCOMPARE(QString::fromUtf8(EditorText(e)), QStringLiteral("abc\ndef"));
        }
    }

    void keyMapRemovesAllButTheListedLetters()
    {
        TestApp t;
        QVERIFY(t.start());
        QVERIFY(QTest::qWaitForWindowActive(mainWindow()));
        // Letters that are window shortcuts are left out; they do their command.
        const QByteArray ctrlFree = "GHJKMQRTU";
        const QByteArray ctrlShiftFree = "ABCDEFGHIJKLMOPQRSTUVWXYZ";
        for (QsciScintillaBase *e : {markdown(), head()}) {
            focusEditor(e);
            auto unchangedBy = [e](char letter, Qt::KeyboardModifiers modifiers) {
                setState(e, "One\nTwo three", 4, 7);
                const QString before = state(e);
                QTest::keyClick(e, Qt::Key(letter), modifiers);
                return state(e) == before;
            };
            for (char letter : ctrlFree)
                QVERIFY2(unchangedBy(letter, Qt::ControlModifier), qPrintable(QStringLiteral("Ctrl+") + letter));
            for (char letter : ctrlShiftFree)
                QVERIFY2(unchangedBy(letter, Qt::ControlModifier | Qt::ShiftModifier),
                         qPrintable(QStringLiteral("Ctrl+Shift+") + letter));
            QCOMPARE(t.platform.messageCount(), 0);
            QVERIFY(t.platform.dialogs.isEmpty());

            // The kept bindings: undo, redo, select all, copy, paste, cut, duplicate.
            setState(e, "One\nTwo", 7, 7);
            send(e, Sci::SCI_EMPTYUNDOBUFFER);
            QTest::keyClicks(e, "x");
            QCOMPARE(state(e), QStringLiteral("One\nTwox @8/8"));
            QTest::keyClick(e, Qt::Key_Z, Qt::ControlModifier);
            QCOMPARE(state(e), QStringLiteral("One\nTwo @7/7"));
            QTest::keyClick(e, Qt::Key_Y, Qt::ControlModifier);
            QCOMPARE(state(e), QStringLiteral("One\nTwox @8/8"));
            QTest::keyClick(e, Qt::Key_A, Qt::ControlModifier);
            QCOMPARE(state(e), QStringLiteral("One\nTwox @0/8"));
            QGuiApplication::clipboard()->clear();
            send(e, Sci::SCI_SETSEL, 0, 3);
            QTest::keyClick(e, Qt::Key_C, Qt::ControlModifier);
            QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::clipboard()->text(), QStringLiteral("One"), 10000);
            send(e, Sci::SCI_SETSEL, 8, 8);
            QTest::keyClick(e, Qt::Key_V, Qt::ControlModifier);
            QCOMPARE(state(e), QStringLiteral("One\nTwoxOne @11/11"));
            send(e, Sci::SCI_SETSEL, 4, 7);
            QTest::keyClick(e, Qt::Key_X, Qt::ControlModifier);
            QCOMPARE(state(e), QStringLiteral("One\nxOne @4/4"));
            QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::clipboard()->text(), QStringLiteral("Two"), 10000);
            send(e, Sci::SCI_SETSEL, 0, 0);
            QTest::keyClick(e, Qt::Key_D, Qt::ControlModifier);
            QCOMPARE(QString::fromUtf8(EditorText(e)), QStringLiteral("One\nOne\nxOne"));
        }
    }

    void enterKeepsThePreviousIndentation()
    {
        EditorFixture f;
        QVERIFY(f.showActive());
        for (QsciScintillaBase *e : {f.markdown, f.head}) {
            focusEditor(e);
            // Blanks and tabs are copied exactly; the caret stands after them.
            setState(e, "  \tabc", 6, 6);
            QTest::keyClick(e, Qt::Key_Return);
            QCOMPARE(state(e), QStringLiteral("  \tabc\n  \t @10/10"));
            // No leading blanks: nothing inserted; list markers are not continued.
            setState(e, "- item", 6, 6);
            QTest::keyClick(e, Qt::Key_Return);
            QCOMPARE(state(e), QStringLiteral("- item\n @7/7"));
            // Enter mid-line: the rest moves down behind the copied indentation.
            setState(e, "  abcdef", 5, 5);
            QTest::keyClick(e, Qt::Key_Return);
            QCOMPARE(state(e), QStringLiteral("  abc\n  def @8/8"));
            // With CR LF line ends only the line feed acts: one copy, not two.
            send(e, Sci::SCI_SETEOLMODE, Sci::SC_EOL_CRLF);
            setState(e, " \tx", 3, 3);
            QTest::keyClick(e, Qt::Key_Return);
            QCOMPARE(state(e), QStringLiteral(" \tx\r\n \t @7/7"));
            send(e, Sci::SCI_SETEOLMODE, Sci::SC_EOL_LF);
            // A line feed on the first line (no line above) does nothing.
            setState(e, "  a", 0, 0);
            AutoIndentNewLine(e);
            QCOMPARE(state(e), QStringLiteral("  a @0/0"));
            SetEditorText(e, QByteArray());
            AutoIndentNewLine(e);
            QCOMPARE(send(e, Sci::SCI_GETLENGTH), 0L);
        }
    }

    void editsAreReportedButReplacedTextsAreNot()
    {
        TestApp t;
        Settings s;
        s.UpdateMilliseconds = 600000;
        QVERIFY(t.writeSettings(s));
        QVERIFY(t.start());
        QVERIFY(QTest::qWaitForWindowActive(mainWindow()));
        QSignalSpy edits(&document(), &Document::edited);
        for (QsciScintillaBase *e : {markdown(), head()}) {
            focusEditor(e);
            edits.clear();
            mainWindow()->setStatusText(QStringLiteral("Saving done."));
            QTest::keyClicks(e, "a");
            QCOMPARE(edits.size(), 1);
            QCOMPARE(mainWindow()->statusText(), QString());

            // Deletions, undo, redo and edits made by the program count too.
            QTest::keyClick(e, Qt::Key_Backspace);
            QCOMPARE(edits.size(), 2);
            QTest::keyClick(e, Qt::Key_Z, Qt::ControlModifier);
            QCOMPARE(edits.size(), 3);
            QTest::keyClick(e, Qt::Key_Y, Qt::ControlModifier);
            QCOMPARE(edits.size(), 4);
            SetEditorText(e, "replaced");
            QVERIFY(edits.size() >= 5);
            // Moving the caret is no edit.
            edits.clear();
            QTest::keyClick(e, Qt::Key_Home);
            QTest::keyClick(e, Qt::Key_Right, Qt::ShiftModifier);
            QCOMPARE(edits.size(), 0);
        }
        // Texts put in place by the document (New, Open) are no edit, and keep the status.
        mainWindow()->setStatusText(QStringLiteral("Saving done."));
        document().replace("new text", "<title>t</title>", QString());
        QCOMPARE(edits.size(), 0);
        QCOMPARE(mainWindow()->statusText(), QStringLiteral("Saving done."));
    }

    void fontCommandUpdatesBothEditorsAndSettings()
    {
        TestApp t;
        QVERIFY(t.start());
        // Cancelled: nothing changes; the chooser starts from the settings, plain.
        RunCommand(CmdFont);
        QCOMPARE(t.platform.fontRequests.size(), 1);
        QCOMPARE(t.platform.fontRequests[0].family(), QStringLiteral("Courier New"));
        QCOMPARE(t.platform.fontRequests[0].pointSize(), 8);
        QVERIFY(!t.platform.fontRequests[0].bold() && !t.platform.fontRequests[0].italic());
        QCOMPARE(app().settings.FontName, QStringLiteral("Courier New"));

        t.platform.fontAccepted = true;
        t.platform.fontAnswer = QFont(QStringLiteral("DejaVu Sans Mono"));
        t.platform.fontAnswer.setPointSizeF(10.5);
        t.platform.fontAnswer.setBold(true);
        t.platform.fontAnswer.setItalic(true);
        RunCommand(CmdFont);
        QCOMPARE(app().settings.FontName, QStringLiteral("DejaVu Sans Mono"));
        QCOMPARE(app().settings.FontSize, 10);
        for (QsciScintillaBase *e : {markdown(), head()}) {
            QCOMPARE(styleFont(e, 32), QByteArray("DejaVu Sans Mono"));
            QCOMPARE(styleFont(e, 0), QByteArray("DejaVu Sans Mono"));
            QCOMPARE(send(e, Sci::SCI_STYLEGETSIZE, 32), 10L);
            QCOMPARE(send(e, Sci::SCI_STYLEGETSIZE, 0), 10L);
            QCOMPARE(send(e, Sci::SCI_STYLEGETBOLD, 32), 0L);
            QCOMPARE(send(e, Sci::SCI_STYLEGETITALIC, 32), 0L);
            QCOMPARE(send(e, Sci::SCI_STYLEGETBACK, 0), 0xFFFFE0L);
        }
        // A font known only by pixels keeps the old size.
        t.platform.fontAnswer = QFont(QStringLiteral("DejaVu Serif"));
        t.platform.fontAnswer.setPixelSize(20);
        RunCommand(CmdFont);
        QCOMPARE(app().settings.FontName, QStringLiteral("DejaVu Serif"));
        QCOMPARE(app().settings.FontSize, 10);

        const QString file = t.configDir() + QString::fromLatin1(kSettingsFileName);
        t.shutdown();
        const Settings saved = ReadSettingsFile(file);
        QCOMPARE(saved.FontName, QStringLiteral("DejaVu Serif"));
        QCOMPARE(saved.FontSize, 10);
    }

    void wordWrapTogglesFromAnyStoredValue()
    {
        TestApp t;
        Settings s;
        s.WordWrap = 2;
        QVERIFY(t.writeSettings(s));
        QVERIFY(t.start());
        QAction *item = mainWindow()->commandAction(CmdWordWrap);
        QCOMPARE(send(markdown(), Sci::SCI_GETWRAPMODE), 2L);
        QCOMPARE(send(head(), Sci::SCI_GETWRAPMODE), 2L);
        QVERIFY(item->isChecked());
        RunCommand(CmdWordWrap);
        QCOMPARE(app().settings.WordWrap, 0);
        QCOMPARE(send(markdown(), Sci::SCI_GETWRAPMODE), 0L);
        QCOMPARE(send(head(), Sci::SCI_GETWRAPMODE), 0L);
        QVERIFY(!item->isChecked());
        RunCommand(CmdWordWrap);
        QCOMPARE(app().settings.WordWrap, 1);
        QCOMPARE(send(markdown(), Sci::SCI_GETWRAPMODE), 1L);
        QCOMPARE(send(head(), Sci::SCI_GETWRAPMODE), 1L);
        QVERIFY(item->isChecked());
        // A new document keeps the mode.
        SetupEditor(markdown());
        QCOMPARE(send(markdown(), Sci::SCI_GETWRAPMODE), 1L);

        const QString file = t.configDir() + QString::fromLatin1(kSettingsFileName);
        t.shutdown();
        QCOMPARE(ReadSettingsFile(file).WordWrap, 1);
    }
};

QUILLDOWN_TEST_MAIN(TestEditor)
#include "tst_editor.moc"
