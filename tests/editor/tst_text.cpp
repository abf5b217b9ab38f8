// The writer's own text in the editors: right-to-left lines drawn, graphemes moved over and
// deleted whole, Ctrl chords that are no shortcut typing nothing, and the editor's font
// when the configured family is missing. Real editors, shown offscreen.
#include "common/EditorFixture.h"
#include "common/TestSupport.h"

#include "editor/Editor.h"
#include "editor/EditorKeys.h"
#include "editor/Graphemes.h"

#include <QAction>
#include <QFontDatabase>
#include <QImage>
#include <Qsci/qsciscintillabase.h>

using Sci = QsciScintillaBase;

namespace {

const QByteArray kFamily = "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7";   // 👨‍👩‍👧
const QByteArray kAccented = "e\xCC\x81";                                                                // e + U+0301
const QByteArray kArabic = "## \xD8\xA7\xD9\x84\xD8\xB9\xD8\xB1\xD8\xA8\xD9\x8A\xD8\xA9";              // ## العربية
const QByteArray kHebrew = "\xD7\xA9\xD7\x9C\xD7\x95\xD7\x9D \xD7\xA2\xD7\x95\xD7\x9C\xD7\x9D";         // שלום עולם

struct Shown {
    EditorFixture f;
    Shown()
    {
        if (!f.showActive())
            qFatal("the editors' window did not become active");
        f.markdown->setFocus();
    }
    QsciScintillaBase *e() const { return f.markdown; }
    long caret() const { return send(f.markdown, Sci::SCI_GETCURRENTPOS); }
    long anchor() const { return send(f.markdown, Sci::SCI_GETANCHOR); }
    void setText(const QByteArray &text, long caret)
    {
        SetEditorText(f.markdown, text);
        send(f.markdown, Sci::SCI_SETEMPTYSELECTION, caret);
    }
    QByteArray text() const { return EditorText(f.markdown); }
};

// Pixels of the line's row in the editor's picture that are not the background.
int inkOnLine(QsciScintillaBase *e, long line)
{
    const QImage picture = e->grab().toImage();
    const long top = send(e, Sci::SCI_POINTYFROMPOSITION, 0, send(e, Sci::SCI_POSITIONFROMLINE, line));
    const QPoint origin = e->viewport()->mapTo(e, QPoint(0, int(top)));
    const QRgb background = picture.pixel(picture.width() / 2, origin.y() + 1);
    int ink = 0;
    for (int y = origin.y(); y < origin.y() + send(e, Sci::SCI_TEXTHEIGHT, line); ++y)
        for (int x = 0; x < picture.width(); ++x)
            ink += picture.pixel(x, y) != background;
    return ink;
}

} // namespace

class TestText : public QObject {
    Q_OBJECT
private slots:
    void graphemeBoundariesInBytes()
    {
        const QByteArray line = "a" + kFamily + kAccented + "\xFF" + "z";
        const qsizetype family = 1, accented = family + kFamily.size(), invalid = accented + 3;
        QCOMPARE(NextGraphemeBoundary(line, 0), family);
        QCOMPARE(NextGraphemeBoundary(line, family), accented);
        QCOMPARE(NextGraphemeBoundary(line, family + 5), accented);   // from inside the emoji
        QCOMPARE(NextGraphemeBoundary(line, accented), invalid);
        QCOMPARE(NextGraphemeBoundary(line, invalid), invalid + 1);   // a stray byte stands alone
        QCOMPARE(NextGraphemeBoundary(line, line.size()), line.size());
        QCOMPARE(PreviousGraphemeBoundary(line, invalid), accented);
        QCOMPARE(PreviousGraphemeBoundary(line, accented), family);
        QCOMPARE(PreviousGraphemeBoundary(line, accented - 1), family);
        QCOMPARE(PreviousGraphemeBoundary(line, 0), 0);
        QVERIFY(IsGraphemeBoundary(line, accented));
        QVERIFY(!IsGraphemeBoundary(line, accented + 1));
        QVERIFY(!IsGraphemeBoundary(line, family + 4));
        // A code point cut short at the end counts byte by byte.
        QCOMPARE(NextGraphemeBoundary(QByteArrayView("\xE2\x80"), 0), 1);
    }

    void worldTextInTheEditor()
    {
        Shown s;
        // Right-to-left lines are drawn, with or without wrapping.
        for (const int wrap : {0, 1}) {
            send(s.e(), Sci::SCI_SETWRAPMODE, wrap);
            s.setText("abc\n" + kArabic + "\n" + kHebrew + "\n\nabc " + kArabic + "\n", 0);
            QTRY_VERIFY_WITH_TIMEOUT(inkOnLine(s.e(), 0) > 20, 10000);
            QVERIFY2(inkOnLine(s.e(), 1) > 20, "Arabic line");
            QVERIFY2(inkOnLine(s.e(), 2) > 20, "Hebrew line");
            QVERIFY2(inkOnLine(s.e(), 4) > 20, "mixed line");
            QCOMPARE(inkOnLine(s.e(), 3), 0);
        }
        send(s.e(), Sci::SCI_SETWRAPMODE, 0);
        // A right-to-left line begins at the right: a click there puts the caret at its start,
        // a click at its left end after its last character.
        const long hebrewStart = send(s.e(), Sci::SCI_POSITIONFROMLINE, 2);
        const int hebrewY = int(send(s.e(), Sci::SCI_POINTYFROMPOSITION, 0, hebrewStart)) + 3;
        QTest::mouseClick(s.e()->viewport(), Qt::LeftButton, {}, QPoint(s.e()->viewport()->width() - 5, hebrewY));
        QCOMPARE(s.caret(), hebrewStart);
        QTest::mouseClick(s.e()->viewport(), Qt::LeftButton, {}, QPoint(s.e()->viewport()->width() / 2, hebrewY));
        QCOMPARE(s.caret(), hebrewStart + kHebrew.size());

        // A line wider than the view slides to keep the caret in sight: with the caret at its
        // end, that end is at the left edge of the text, under the pointer.
        const QByteArray longHebrew = (kHebrew + " ").repeated(40) + kHebrew;
        s.setText(longHebrew + "\nabc", longHebrew.size());
        const int textLeft = int(send(s.e(), Sci::SCI_POINTXFROMPOSITION, 0, 0L));
        QTest::mouseClick(s.e()->viewport(), Qt::LeftButton, {}, QPoint(textLeft + 1, 3));
        QCOMPARE(s.caret(), long(longHebrew.size()));

        // Left and Right step over whole graphemes; Shift selects them whole.
        const QByteArray line = "a" + kFamily + kAccented + "x";
        const long family = 1, accented = family + kFamily.size(), x = accented + kAccented.size();
        s.setText(line, family);
        QTest::keyClick(s.e(), Qt::Key_Right);
        QCOMPARE(s.caret(), accented);
        QTest::keyClick(s.e(), Qt::Key_Right);
        QCOMPARE(s.caret(), x);
        QTest::keyClick(s.e(), Qt::Key_Left);
        QCOMPARE(s.caret(), accented);
        QTest::keyClick(s.e(), Qt::Key_Left);
        QCOMPARE(s.caret(), family);
        QTest::keyClick(s.e(), Qt::Key_Right, Qt::ShiftModifier);
        QCOMPARE(s.anchor(), family);
        QCOMPARE(s.caret(), accented);
        QCOMPARE(s.text(), line);

        // Typing at a caret placed inside a grapheme lands after it.
        s.setText(line, family + 4);
        QTest::keyClicks(s.e(), "Z");
        QCOMPARE(s.text(), "a" + kFamily + "Z" + kAccented + "x");
        s.setText(line, accented + 1);
        QTest::keyClicks(s.e(), "Z");
        QCOMPARE(s.text(), "a" + kFamily + kAccented + "Zx");

        // Backspace and Delete take a grapheme whole, undone in one step.
        s.setText(line, accented);
        QTest::keyClick(s.e(), Qt::Key_Backspace);
        QCOMPARE(s.text(), "a" + kAccented + "x");
        QCOMPARE(s.caret(), family);
        QTest::keyClick(s.e(), Qt::Key_Delete);
        QCOMPARE(s.text(), QByteArray("ax"));
        send(s.e(), Sci::SCI_UNDO);
        QCOMPARE(s.text(), "a" + kAccented + "x");
        // Outside clusters the component's own steps are unchanged, line ends included.
        s.setText("ab\r\ncd", 2);
        QTest::keyClick(s.e(), Qt::Key_Right);
        QCOMPARE(s.caret(), 4L);
        QTest::keyClick(s.e(), Qt::Key_Backspace);
        QCOMPARE(s.text(), QByteArray("abcd"));
    }

    void ctrlChords()
    {
        Shown s;
        // A window shortcut still runs and types nothing.
        auto *nextPane = new QAction(&s.f.window);
        nextPane->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab));
        s.f.window.addAction(nextPane);
        int nextPaneRuns = 0;
        QObject::connect(nextPane, &QAction::triggered, [&] { ++nextPaneRuns; });

        for (QsciScintillaBase *e : {s.f.markdown, s.f.head}) {
            e->setFocus();
            QTRY_VERIFY_WITH_TIMEOUT(e->hasFocus(), 10000);
            SetEditorText(e, "one two");
            send(e, Sci::SCI_SETEMPTYSELECTION, 3);
            send(e, Sci::SCI_EMPTYUNDOBUFFER);
            const struct {
                Qt::Key key;
                const char *text;
                Qt::KeyboardModifiers modifiers;
            } typeNothing[] = {
                {Qt::Key_Plus, "+", Qt::ControlModifier},  {Qt::Key_Minus, "-", Qt::ControlModifier},
                {Qt::Key_Equal, "=", Qt::ControlModifier}, {Qt::Key_0, "0", Qt::ControlModifier},
                {Qt::Key_1, "1", Qt::ControlModifier},     {Qt::Key_Space, " ", Qt::ControlModifier},
                {Qt::Key_Plus, "+", Qt::ControlModifier | Qt::ShiftModifier},
                {Qt::Key_Plus, "+", Qt::ControlModifier | Qt::KeypadModifier},
                {Qt::Key_G, "g", Qt::ControlModifier},
            };
            for (const auto &chord : typeNothing) {
                QTest::sendKeyEvent(QTest::Click, e, chord.key, QString::fromLatin1(chord.text), chord.modifiers);
                QVERIFY2(EditorText(e) == "one two", chord.text);
            }
            QCOMPARE(send(e, Sci::SCI_CANUNDO), 0L);
            QTest::keyClick(e, Qt::Key_Tab, Qt::ControlModifier);
            QCOMPARE(EditorText(e), QByteArray("one two"));

            // AltGr arrives as Ctrl+Alt with its character and types it.
            QTest::sendKeyEvent(QTest::Click, e, Qt::Key_At, QStringLiteral("@"), Qt::ControlModifier | Qt::AltModifier);
            QTest::sendKeyEvent(QTest::Click, e, Qt::Key_E, QString(QChar(0x20AC)), Qt::ControlModifier | Qt::AltModifier);
            QCOMPARE(EditorText(e), QByteArray("one@\xE2\x82\xAC two"));

            // The component's own Ctrl keys act.
            SetEditorText(e, "one two");
            send(e, Sci::SCI_SETEMPTYSELECTION, 7);
            send(e, Sci::SCI_EMPTYUNDOBUFFER);
            QTest::keyClicks(e, "x");
            QTest::keyClick(e, Qt::Key_Z, Qt::ControlModifier);
            QCOMPARE(EditorText(e), QByteArray("one two"));
            QTest::keyClick(e, Qt::Key_Y, Qt::ControlModifier);
            QCOMPARE(EditorText(e), QByteArray("one twox"));
            QTest::keyClick(e, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(e, Qt::Key_X, Qt::ControlModifier);
            QCOMPARE(EditorText(e), QByteArray());
            QTest::keyClick(e, Qt::Key_V, Qt::ControlModifier);
            QCOMPARE(EditorText(e), QByteArray("one twox"));
            QTest::keyClick(e, Qt::Key_Home, Qt::ControlModifier);
            QTest::keyClick(e, Qt::Key_Right, Qt::ControlModifier);
            QCOMPARE(send(e, Sci::SCI_GETCURRENTPOS), 4L);
            QTest::keyClick(e, Qt::Key_Delete, Qt::ControlModifier);
            QCOMPARE(EditorText(e), QByteArray("one "));
            QTest::keyClick(e, Qt::Key_End, Qt::ControlModifier);
            QTest::keyClick(e, Qt::Key_Backspace, Qt::ControlModifier);
            QCOMPARE(EditorText(e), QByteArray());
        }
        QCOMPARE(nextPaneRuns, 2);
        QVERIFY(IsCtrlChordText(Qt::ControlModifier | Qt::ShiftModifier, QStringLiteral("+")));
        QVERIFY(!IsCtrlChordText(Qt::ControlModifier | Qt::AltModifier, QStringLiteral("{")));
        QVERIFY(!IsCtrlChordText(Qt::ControlModifier, QString()));
        QVERIFY(!IsCtrlChordText(Qt::ShiftModifier, QStringLiteral("+")));
    }

    void fontFallsBackToTheFixedFont()
    {
        const QString fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
        QCOMPARE(EditorFontFamily(QStringLiteral("No Such Face Quilldown")), fixed);
        QCOMPARE(EditorFontFamily(QString()), fixed);
        const QString installed = QFontDatabase::families().value(0);
        QVERIFY(!installed.isEmpty());
        QCOMPARE(EditorFontFamily(installed), installed);

        // The editor draws with the fallback; the setting keeps the writer's name.
        EditorFixture f;
        app().settings.FontName = QStringLiteral("No Such Face Quilldown");
        ApplyEditorStyle(f.markdown);
        QByteArray face(256, '\0');
        f.markdown->SendScintilla(Sci::SCI_STYLEGETFONT, 32UL, face.data());
        QCOMPARE(QString::fromUtf8(face.constData()), fixed);
        QCOMPARE(app().settings.FontName, QStringLiteral("No Such Face Quilldown"));
    }
};

QUILLDOWN_TEST_MAIN(TestText)
#include "tst_text.moc"
