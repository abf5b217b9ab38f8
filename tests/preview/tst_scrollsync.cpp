// Scroll synchronisation between the Markdown editor and the preview.
#include "PreviewTestSupport.h"

#include "app/Commands.h"
#include "preview/ScrollSync.h"

#include <QSignalSpy>

namespace {

using Sci = QsciScintillaBase;

void setEditorLines(QsciScintillaBase *editor, int lines)
{
    QByteArray text;
    for (int i = 0; i < lines; ++i)
        text += "Line " + QByteArray::number(i) + "\n";
    editor->SendScintilla(Sci::SCI_SETTEXT, 0UL, text.constData());
}

long firstLine(QsciScintillaBase *editor)
{
    return editor->SendScintilla(Sci::SCI_GETFIRSTVISIBLELINE);
}

long lastFirstLine(QsciScintillaBase *editor)
{
    return editor->SendScintilla(Sci::SCI_GETLINECOUNT) - editor->SendScintilla(Sci::SCI_LINESONSCREEN);
}

void scrollEditorTo(QsciScintillaBase *editor, long line)
{
    editor->SendScintilla(Sci::SCI_SETFIRSTVISIBLELINE, (unsigned long)line);
}

// Starts the program showing a long page and a long document, both at the top.
bool startWithLongPage(PreviewSession &s, int paragraphs = 300, int lines = 600)
{
    if (!s.start())
        return false;
    setEditorLines(s.editor(), lines);
    scrollEditorTo(s.editor(), 0);
    const QString page = s.writePage("_temp0.htm", pageHtml(paragraphs));
    s.publish(page);
    return QTest::qWaitFor([&] { return s.shows(page) && s.pane()->maxScroll() > 3000; }, kWait);
}

} // namespace

class TestScrollSync : public QObject {
    Q_OBJECT
private slots:
    void percentOfScrollRange()
    {
        QCOMPARE(ScrollPercentOf(0, 0), 0.0);
        QCOMPARE(ScrollPercentOf(40, 0), 0.0);
        QCOMPARE(ScrollPercentOf(10, -5), 0.0);
        QCOMPARE(ScrollPercentOf(0, 700), 0.0);
        QCOMPARE(ScrollPercentOf(700, 700), 100.0);
        // Truncated to three decimals, not rounded.
        QCOMPARE(ScrollPercentOf(2, 3), 66.666);
        QCOMPARE(ScrollPercentOf(1, 3), 33.333);
        // Large pages: the product would not fit in 32 bits.
        QCOMPARE(ScrollPercentOf(1000000, 3000000), 33.333);
        QCOMPARE(ScrollPercentOf(2999999, 3000000), 99.999);
    }

    void editorPercentages()
    {
        PreviewSession s;
        QVERIFY(s.start());
        QsciScintillaBase *editor = s.editor();
        // A document shorter than the window.
        setEditorLines(editor, 3);
        QVERIFY(editor->SendScintilla(Sci::SCI_LINESONSCREEN) > 4);
        QCOMPARE(EditorScrollPercent(editor), 0.0);
        QVERIFY(!SetEditorScrollPercent(editor, 50));
        QCOMPARE(firstLine(editor), 0L);

        setEditorLines(editor, 400);
        const long last = lastFirstLine(editor);
        QVERIFY(last > 100);
        scrollEditorTo(editor, last);
        QCOMPARE(firstLine(editor), last);
        QCOMPARE(EditorScrollPercent(editor), 100.0);
        scrollEditorTo(editor, last / 2);
        QCOMPARE(EditorScrollPercent(editor), std::round(double(last / 2) * 100 / last));
        QVERIFY(SetEditorScrollPercent(editor, 25));
        QCOMPARE(firstLine(editor), std::lround(last * 0.25));
        QVERIFY(!SetEditorScrollPercent(editor, 25));
    }

    void wrappedLinesCountAsDisplayed()
    {
        PreviewSession s;
        QVERIFY(s.start());
        QsciScintillaBase *editor = s.editor();
        QByteArray text;
        for (int i = 0; i < 200; ++i)
            text += QByteArray(400, 'w').replace(50, 1, " ").replace(120, 1, " ").replace(260, 1, " ") + "\n";
        editor->SendScintilla(Sci::SCI_SETTEXT, 0UL, text.constData());
        editor->SendScintilla(Sci::SCI_SETWRAPMODE, 1UL);
        QTRY_VERIFY_WITH_TIMEOUT(editor->SendScintilla(Sci::SCI_WRAPCOUNT, 199UL) > 1, kWait);
        // The last page of display lines is 100 %, not more.
        editor->SendScintilla(Sci::SCI_DOCUMENTEND);
        QTRY_COMPARE_WITH_TIMEOUT(EditorScrollPercent(editor), 100.0, kWait);
        QVERIFY(SetEditorScrollPercent(editor, 0));
        QCOMPARE(EditorScrollPercent(editor), 0.0);
        SetEditorScrollPercent(editor, 100);
        QCOMPARE(EditorScrollPercent(editor), 100.0);
    }

    void pageWithoutScrollingIsZero()
    {
        PreviewSession s;
        QVERIFY(s.start());
        QCOMPARE(scrollSync().previewPercent(), 0.0);   // about:blank
        const QString page = s.writePage("_temp0.htm", pageHtml(2));
        s.publish(page);
        QTRY_VERIFY_WITH_TIMEOUT(s.shows(page), kWait);
        QTRY_VERIFY_WITH_TIMEOUT(s.pane()->scrollHeight() > 0, kWait);
        QCOMPARE(previewPane()->maxScroll(), 0);
        QCOMPARE(scrollSync().previewPercent(), 0.0);
        QVERIFY(!scrollSync().setPreviewPercent(50));
        QVERIFY(!s.pane()->scriptsPending());
        QCOMPARE(previewPane()->scrollTop(), 0);
    }

    void editorAtEndMovesPreviewToItsEnd()
    {
        PreviewSession s;
        QVERIFY(startWithLongPage(s));
        QSignalSpy applied(s.pane(), &PreviewPane::scrollApplied);
        scrollEditorTo(s.editor(), lastFirstLine(s.editor()));
        scrollSync().editorMoved();
        QTRY_COMPARE_WITH_TIMEOUT(applied.size(), 1, kWait);
        QCOMPARE(applied.first().first().toInt(), previewPane()->maxScroll());
        QCOMPARE(previewPane()->scrollTop(), previewPane()->maxScroll());
        QTRY_COMPARE_WITH_TIMEOUT(scrollSync().previewPercent(), 100.0, kWait);
    }

    void editorScrollMovesPreviewOnceWithoutEcho()
    {
        PreviewSession s;
        QVERIFY(startWithLongPage(s));
        QsciScintillaBase *editor = s.editor();
        QObject::connect(editor, &QsciScintillaBase::SCN_UPDATEUI, editor, [](int) { scrollSync().editorMoved(); });
        QSignalSpy applied(s.pane(), &PreviewPane::scrollApplied);
        const long line = lastFirstLine(editor) * 40 / 100;
        scrollEditorTo(editor, line);
        scrollSync().editorMoved();
        const double percent = EditorScrollPercent(editor);
        QCOMPARE(scrollSync().state().ignoreNextPreviewScroll, 1);
        QTRY_COMPARE_WITH_TIMEOUT(applied.size(), 1, kWait);
        const int expected = int(std::lround(previewPane()->maxScroll() * percent * 0.01));
        QCOMPARE(previewPane()->scrollTop(), expected);
        // The next idle pass sees the preview move and takes it as the echo it is.
        QTRY_COMPARE_WITH_TIMEOUT(scrollSync().state().ignoreNextPreviewScroll, 0, kWait);
        QCOMPARE(firstLine(editor), line);
        QCOMPARE(scrollSync().state().editorScrollFromSync, 0);
        QCOMPARE(applied.size(), 1);
        QCOMPARE(previewPane()->scrollTop(), expected);
    }

    void previewScrollMovesEditorWithoutEcho()
    {
        PreviewSession s;
        QVERIFY(startWithLongPage(s));
        QsciScintillaBase *editor = s.editor();
        QObject::connect(editor, &QsciScintillaBase::SCN_UPDATEUI, editor, [](int) { scrollSync().editorMoved(); });
        QSignalSpy applied(s.pane(), &PreviewPane::scrollApplied);
        const int offset = previewPane()->maxScroll() * 3 / 4;
        userScrollPreview(s.pane(), offset);
        QTRY_COMPARE_WITH_TIMEOUT(previewPane()->scrollTop(), offset, kWait);
        const double percent = ScrollPercentOf(offset, previewPane()->maxScroll());
        const long expectedLine = std::lround(lastFirstLine(editor) * percent / 100);
        QTRY_COMPARE_WITH_TIMEOUT(firstLine(editor), expectedLine, kWait);
        // The editor reports its new position when it is painted; the offscreen platform
        // may not have painted it yet, so paint it as a window system would.
        static_cast<QAbstractScrollArea *>(editor)->viewport()->repaint();
        // The editor's own notification is recognised as caused by the preview.
        QTRY_COMPARE_WITH_TIMEOUT(scrollSync().state().editorScrollFromSync, 0, kWait);
        QCOMPARE(scrollSync().state().lastEditorPercent, EditorScrollPercent(editor));
        QCOMPARE(applied.size(), 0);
        QCOMPARE(previewPane()->scrollTop(), offset);
        QCOMPARE(firstLine(editor), expectedLine);
    }

    void noSyncWhileOffButCtrlTabAligns()
    {
        PreviewSession s;
        QVERIFY(startWithLongPage(s));
        app().settings.SyncScroll = 0;
        QsciScintillaBase *editor = s.editor();
        scrollEditorTo(editor, lastFirstLine(editor) / 2);
        scrollSync().editorMoved();
        QVERIFY(!s.pane()->scriptsPending());
        QCOMPARE(previewPane()->scrollTop(), 0);
        // Nor does the preview move the editor.
        userScrollPreview(s.pane(), 900);
        QTRY_COMPARE_WITH_TIMEOUT(previewPane()->scrollTop(), 900, kWait);
        QCOMPARE(firstLine(editor), lastFirstLine(editor) / 2);

        QSignalSpy applied(s.pane(), &PreviewPane::scrollApplied);
        mainWindow()->activateWindow();
        editor->setFocus();
        QTRY_VERIFY_WITH_TIMEOUT(QApplication::focusWidget() == editor, kWait);
        QTest::keyClick(editor, Qt::Key_Tab, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(applied.size(), 1, kWait);
        const int expected = int(std::lround(previewPane()->maxScroll() * EditorScrollPercent(editor) * 0.01));
        QCOMPARE(previewPane()->scrollTop(), expected);
        QCOMPARE(scrollSync().state().ignoreNextPreviewScroll, 0);
        QCOMPARE(scrollSync().state().editorScrollFromSync, 0);
    }

    void syncStillFollowsAfterTheMainLoopHasRested()
    {
        PreviewSession s;
        QVERIFY(startWithLongPage(s));
        QsciScintillaBase *editor = s.editor();
        // The offscreen platform does not paint by itself; the editor reports its
        // position when painted, so paint it as a window system would.
        auto paint = [editor] { static_cast<QAbstractScrollArea *>(editor)->viewport()->repaint(); };
        QTRY_VERIFY_WITH_TIMEOUT(!IdlePassAwake(), kWait);
        // The reader scrolls the preview: the editor follows.
        userScrollPreview(s.pane(), s.pane()->maxScroll() / 2);
        QTRY_VERIFY_WITH_TIMEOUT(firstLine(editor) > 100, kWait);
        paint();
        QTRY_VERIFY_WITH_TIMEOUT(!IdlePassAwake(), kWait);
        // And the editor scrolled back to the top takes the preview with it.
        scrollEditorTo(editor, 0);
        paint();
        QTRY_COMPARE_WITH_TIMEOUT(previewPane()->scrollTop(), 0, kWait);
    }

    void syncWaitsForReloadAndRestore()
    {
        PreviewSession s;
        QVERIFY(startWithLongPage(s));
        userScrollPreview(s.pane(), 1000);
        QTRY_COMPARE_WITH_TIMEOUT(firstLine(s.editor()), std::lround(lastFirstLine(s.editor()) *
                                                                     ScrollPercentOf(1000, previewPane()->maxScroll()) / 100),
                                  kWait);
        const long line = firstLine(s.editor());
        // While the reload is under way the preview is at the top of the new page; that
        // must not pull the editor up.
        const QString next = s.writePage("_temp1.htm", pageHtml(300));
        s.publish(next);
        QTRY_VERIFY_WITH_TIMEOUT(s.shows(next), kWait);
        QTRY_COMPARE_WITH_TIMEOUT(s.pane()->page()->scrollPosition().y(), 1000.0, kWait);
        for (int i = 0; i < 5; ++i)
            previewController()->refresh();
        QCOMPARE(firstLine(s.editor()), line);
    }
};

QUILLDOWN_TEST_MAIN(TestScrollSync)
#include "tst_scrollsync.moc"
