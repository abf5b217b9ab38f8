// The main window: menus, shortcuts, layout, geometry and the About box.
#include "common/TestSupport.h"

#include "core/AppState.h"
#include "app/Commands.h"
#include "app/MainWindow.h"
#include "preview/PreviewPane.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>
#include <QStatusBar>
#include <Qsci/qsciscintillabase.h>

namespace {

// "text|id" for every entry of a menu, "-" for separators, "[title]" for submenus.
QStringList describe(const QMenu *menu)
{
    QStringList out;
    for (QAction *a : menu->actions()) {
        if (a->isSeparator())
            out << QStringLiteral("-");
        else if (a->menu())
            out << u'[' + a->text() + u']';
        else
            out << a->text() + u'|' + QString::number(a->data().toInt());
    }
    return out;
}

QMenu *topMenu(const MainWindow *w, const QString &title)
{
    for (QAction *a : w->menuBar()->actions())
        if (a->text() == title)
            return a->menu();
    return nullptr;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void menusHaveExactTextsAndIds()
    {
        TestApp t;
        QVERIFY(t.start());
        const MainWindow *w = mainWindow();
        QCOMPARE(w->windowTitle(), QStringLiteral("Quilldown"));
        QStringList titles;
        for (QAction *a : w->menuBar()->actions())
            titles << a->text();
        QCOMPARE(titles, QStringList({"&File", "&Edit", "&HTML", "&View", "He&lp"}));
        QCOMPARE(describe(topMenu(w, "&File")),
                 QStringList({"&New\tCtrl+N|1", "&Open...\tCtrl+O|5", "&Save\tCtrl+S|3", "Save &As...|4", "-",
                              "New &Window...\tCtrl+Shift+N|2", "-", "E&xit|8"}));
        QCOMPARE(describe(topMenu(w, "&Edit")),
                 QStringList({"&Bold\tCtrl+B|20", "&Italic\tCtrl+I|21", "-", "&Find\tCtrl+F|14",
                              "Find &Next\tF3|15", "Find &Previous\tShift+F3|16"}));
        QCOMPARE(describe(topMenu(w, "&HTML")),
                 QStringList({"&Refresh\tF5|0", "&Preview in Browser\tCtrl+P|9", "-", "[Select &CSS]",
                              "&Load CSS...\tCtrl+L|7"}));
        QCOMPARE(describe(topMenu(w, "&View")), QStringList({"&Word Wrap|10", "&Sync Scroll|11", "&Font...|12"}));
        QCOMPARE(describe(topMenu(w, "He&lp")), QStringList({"&About Quilldown\tF1|13"}));
        // Check marks follow the settings: no wrap, sync on by default.
        QVERIFY(!w->commandAction(CmdWordWrap)->isChecked());
        QVERIFY(w->commandAction(CmdSyncScroll)->isChecked());
        QCOMPARE(w->statusText(), QStringLiteral("Quilldown 1.7"));
    }

    void shortcutTableInOrder()
    {
        TestApp t;
        QVERIFY(t.start());
        QStringList table;
        for (const ShortcutEntry &e : mainWindow()->shortcutTable())
            table << e.key.toString() + u'=' + QString::number(e.command);
        QCOMPARE(table, QStringList({"F5=0", "F1=13", "Ctrl+S=3", "Ctrl+P=9", "Ctrl+E=9", "Ctrl+O=5", "Ctrl+N=1",
                                     "Ctrl+Shift+N=2", "Ctrl+W=1", "Ctrl+B=20", "Ctrl+I=21", "Ctrl+F=14", "F3=15",
                                     "Shift+F3=16", "Ctrl+L=7", "Ctrl+Space=17", "Ctrl+Tab=22"}));
        // Every entry is a live shortcut of the window.
        const auto shortcuts = mainWindow()->findChildren<QShortcut *>();
        QCOMPARE(shortcuts.size(), table.size());
    }

    void aboutBoxAndSyncToggle()
    {
        TestApp t;
        QVERIFY(t.start());
        QVERIFY(QTest::qWaitForWindowActive(mainWindow()));
        QTest::keyClick(mainWindow()->markdownEditor(), Qt::Key_F1);
        QTRY_COMPARE_WITH_TIMEOUT(t.platform.messageCount(), 1, 5000);
        const RecordedMessage m = t.platform.lastMessage();
        QCOMPARE(m.caption, QStringLiteral("Quilldown"));
        QCOMPARE(m.icon, MessageIcon::Information);
        const QStringList lines = m.text.split(u'\n');
        QCOMPARE(lines.size(), 4);
        QCOMPARE(lines[0], QStringLiteral("Quilldown"));
        QVERIFY(QRegularExpression(QStringLiteral("^Version 1\\.7 \\(\\d{4}-\\d{2}-\\d{2}\\)$")).match(lines[1]).hasMatch());
        QCOMPARE(lines[2], QStringLiteral("The Quilldown developers"));

        RunCommand(CmdSyncScroll);
        QCOMPARE(app().settings.SyncScroll, 0);
        QVERIFY(!mainWindow()->commandAction(CmdSyncScroll)->isChecked());
        RunCommand(CmdSyncScroll);
        QCOMPARE(app().settings.SyncScroll, 1);
        QVERIFY(mainWindow()->commandAction(CmdSyncScroll)->isChecked());
    }

    void layoutKeepsMarginsAndHeadEditorBelow()
    {
        TestApp t;
        QVERIFY(t.start());
        MainWindow *w = mainWindow();
        QTRY_VERIFY_WITH_TIMEOUT(w->isVisible(), 5000);
        const QRect pane = w->paneSplitter()->geometry();
        QCOMPARE(pane.topLeft(), QPoint(5, 5));
        QCOMPARE(pane.width(), w->width() - 10);
        // The preview takes about half of the width.
        const int dividerPos = w->paneSplitter()->sizes().first();
        QVERIFY(qAbs(dividerPos - (pane.width() - w->paneSplitter()->handleWidth()) / 2) <= 1);
        // The head editor sits below the Markdown editor and is the smaller one.
        const QList<int> heights = w->editorSplitter()->sizes();
        QVERIFY(heights[0] > heights[1]);
        QVERIFY(heights[1] > 40);

        // The pane splitter keeps its ratio when the window grows.
        w->paneSplitter()->setDividerPosition(pane.width() / 4);
        w->resize(w->width() + 200, w->height());
        QTRY_VERIFY_WITH_TIMEOUT(w->paneSplitter()->width() == w->width() - 10, 5000);
        const int extent = w->paneSplitter()->width() - w->paneSplitter()->handleWidth();
        QVERIFY(qAbs(w->paneSplitter()->sizes().first() - extent / 4) <= 2);
    }

    void geometryIsRecorded()
    {
        TestApp t;
        QVERIFY(t.start());
        MainWindow *w = mainWindow();
        w->resize(700, 500);
        w->move(30, 40);
        QTRY_COMPARE_WITH_TIMEOUT(app().settings.WinW, 700, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(app().settings.WinX, 30, 5000);
        QCOMPARE(app().settings.WinH, 500);
        QCOMPARE(app().settings.WinY, 40);
        QCOMPARE(app().settings.WinMax, 0);

        w->showMaximized();
        QTRY_COMPARE_WITH_TIMEOUT(app().settings.WinMax, 1, 5000);
        QCOMPARE(app().settings.WinW, 700);
        QCOMPARE(app().settings.WinX, 30);

        w->showNormal();
        QTRY_COMPARE_WITH_TIMEOUT(app().settings.WinMax, 0, 5000);
        w->showMinimized();
        QTRY_VERIFY_WITH_TIMEOUT(w->isMinimized(), 5000);
        QCOMPARE(app().settings.WinW, 700);
        QCOMPARE(app().settings.WinMax, 0);
    }

    // Keys pressed in the editor: Ctrl+W asks before the document goes, Ctrl+E hands the
    // page to the browser as Ctrl+P does.
    void closeAndBrowserKeys()
    {
        TestApp t;
        QVERIFY(t.start());
        MainWindow *w = mainWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        type(markdown(), "keep me");
        QTest::keyClick(w->markdownEditor(), Qt::Key_W, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(t.platform.messageCount(), 1, 10000);
        QCOMPARE(t.platform.lastMessage().text, QStringLiteral("Save changes before closing?"));
        QCOMPARE(send(markdown(), QsciScintillaBase::SCI_GETLENGTH), 7);   // answered Cancel

        t.platform.messageAnswers.enqueue(MessageAnswer::No);
        QTest::keyClick(w->markdownEditor(), Qt::Key_W, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(send(markdown(), QsciScintillaBase::SCI_GETLENGTH), 0, 10000);

        QTest::keyClick(w->markdownEditor(), Qt::Key_E, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(t.platform.openedUrls().size(), 1, 20000);
    }

    // WinMax = 1: the window starts maximised and restores to the stored place and size.
    void startsMaximised()
    {
        TestApp t;
        Settings stored;
        stored.WinCen = 0;
        stored.WinMax = 1;
        stored.WinX = 30;
        stored.WinY = 40;
        stored.WinW = 640;
        stored.WinH = 480;
        QVERIFY(t.writeSettings(stored));
        QVERIFY(t.start());
        MainWindow *w = mainWindow();
        QTRY_VERIFY_WITH_TIMEOUT(w->isMaximized(), 10000);
        QVERIFY(w->width() > 640);
        QCOMPARE(app().settings.WinMax, 1);
        w->showNormal();
        QTRY_COMPARE_WITH_TIMEOUT(w->size(), QSize(640, 480), 10000);
        QCOMPARE(w->pos(), QPoint(30, 40));
        QCOMPARE(app().settings.WinMax, 0);
        QCOMPARE(app().settings.WinW, 640);
    }

    void tabStaysInTheEditor()
    {
        TestApp t;
        QVERIFY(t.start());
        MainWindow *w = mainWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QTRY_COMPARE_WITH_TIMEOUT(w->focusedPane(), FocusedPane::Markdown, 5000);
        QTest::keyClick(w->markdownEditor(), Qt::Key_Tab);
        QCOMPARE(w->focusedPane(), FocusedPane::Markdown);
        QTest::keyClick(w->markdownEditor(), Qt::Key_Backtab);
        QCOMPARE(w->focusedPane(), FocusedPane::Markdown);
    }
};

QUILLDOWN_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
