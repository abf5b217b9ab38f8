// The main window: the menus and keys built from the command table, the keys while the
// preview has the focus, check marks, layout, geometry and the About box.
#include "common/TestSupport.h"

#include "core/AppState.h"
#include "app/Commands.h"
#include "app/MainWindow.h"
#include "app/PreviewKeyHook.h"
#include "app/Startup.h"
#include "preview/PreviewPane.h"

#include <QAccessible>
#include <QAction>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <Qsci/qsciscintillabase.h>

namespace {

// "text<tab>key|id" for every entry of a menu as the reader sees it (the key is the one
// the menu shows), "-" for separators, "[title]" for submenus.
QStringList describe(const QMenu *menu)
{
    QStringList out;
    for (QAction *a : menu->actions()) {
        if (a->isSeparator())
            out << QStringLiteral("-");
        else if (a->menu())
            out << u'[' + a->text() + u']';
        else
            out << a->text() + (a->shortcut().isEmpty() ? QString() : u'\t' + a->shortcut().toString()) + u'|' +
                       QString::number(a->data().toInt());
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

// The names a screen reader announces for the entries of a menu.
QStringList accessibleNames(QMenu *menu)
{
    QStringList out;
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(menu);
    for (int i = 0; iface && i < iface->childCount(); ++i)
        if (const QString name = iface->child(i)->text(QAccessible::Name); !name.isEmpty())
            out << name;
    return out;
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void menusAndKeysAsTheReaderKnowsThem()
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

        // Screen readers hear the item's name; the key is the action's own.
        QCOMPARE(accessibleNames(topMenu(w, "&File")),
                 QStringList({"New", "Open...", "Save", "Save As...", "New Window...", "Exit"}));

        // Every key of the window, each bound once, to one action.
        QStringList keys;
        for (const Command &command : CommandTable()) {
            const QAction *action = w->commandAction(command.id);
            if (command.id == CmdFirstStylesheet)
                continue;
            QVERIFY2(action, qPrintable(command.text));
            for (const QKeySequence &key : action->shortcuts())
                keys << key.toString() + u'=' + QString::number(command.id);
        }
        keys.sort();
        QStringList expected = {"F5=0", "F1=13", "Ctrl+S=3", "Ctrl+P=9", "Ctrl+E=9", "Ctrl+O=5", "Ctrl+N=1",
                                "Ctrl+Shift+N=2", "Ctrl+W=1", "Ctrl+B=20", "Ctrl+I=21", "Ctrl+F=14", "F3=15",
                                "Shift+F3=16", "Ctrl+L=7", "Ctrl+Space=17", "Ctrl+Tab=22", "F6=23", "Shift+F6=24"};
        expected.sort();
        QCOMPARE(keys, expected);
        QCOMPARE(w->statusText(), QStringLiteral("Quilldown 1.7"));
    }

    // A key runs its command once: the menu's action is the only binding of the key.
    void keyRunsItsCommandOnce()
    {
        TestApp t;
        QVERIFY(t.start());
        QVERIFY(QTest::qWaitForWindowActive(mainWindow()));
        QTest::keyClick(mainWindow()->markdownEditor(), Qt::Key_F1);
        QTRY_COMPARE_WITH_TIMEOUT(t.platform.messageCount(), 1, 5000);
        QCoreApplication::processEvents();
        QCOMPARE(t.platform.messageCount(), 1);
    }

    void checkMarksFollowTheSetting()
    {
        TestApp t;
        QVERIFY(t.start());
        QAction *sync = mainWindow()->commandAction(CmdSyncScroll);
        QAction *wrap = mainWindow()->commandAction(CmdWordWrap);
        QVERIFY(sync->isCheckable() && wrap->isCheckable());
        QVERIFY(!mainWindow()->commandAction(CmdFont)->isCheckable());
        // As stored: no wrap, sync on.
        QVERIFY(!wrap->isChecked());
        QVERIFY(sync->isChecked());
        // Chosen from the menu: the setting changes and the mark shows it.
        sync->trigger();
        QCOMPARE(app().settings.SyncScroll, 0);
        QVERIFY(!sync->isChecked());
        RunCommand(CmdSyncScroll);
        QCOMPARE(app().settings.SyncScroll, 1);
        QVERIFY(sync->isChecked());
        wrap->trigger();
        QCOMPARE(app().settings.WordWrap, 1);
        QVERIFY(wrap->isChecked());
        // A setting changed elsewhere: the mark follows the next update.
        app().settings.WordWrap = 0;
        UpdateCommandChecks();
        QVERIFY(!wrap->isChecked());
    }

    // Which keys the preview takes for itself and what they do there, as the table says.
    void previewKeyList()
    {
        auto press = [](int key, Qt::KeyboardModifiers mods, bool repeat = false) {
            const PreviewKeyOutcome o = PreviewKeyAction(QKeyEvent(QEvent::KeyPress, key, mods, QString(), repeat));
            return QStringLiteral("%1:%2").arg(int(o.use)).arg(o.use == InPreview::RunOnce ? o.command : -1);
        };
        auto other = [](QEvent::Type type, int key, Qt::KeyboardModifiers mods) {
            return PreviewKeyAction(QKeyEvent(type, key, mods)).use;
        };
        const QString run = QString::number(int(InPreview::RunOnce)) + u':';
        const QString nothing = QString::number(int(InPreview::Nothing)) + QStringLiteral(":-1");
        const QString pass = QString::number(int(InPreview::AsElsewhere)) + QStringLiteral(":-1");
        QCOMPARE(press(Qt::Key_N, Qt::ControlModifier), run + QString::number(CmdNew));
        QCOMPARE(press(Qt::Key_O, Qt::ControlModifier), run + QString::number(CmdOpen));
        QCOMPARE(press(Qt::Key_S, Qt::ControlModifier), run + QString::number(CmdSave));
        QCOMPARE(press(Qt::Key_N, Qt::ControlModifier, true), nothing);   // auto-repeat
        QCOMPARE(press(Qt::Key_P, Qt::ControlModifier), nothing);
        QCOMPARE(press(Qt::Key_L, Qt::ControlModifier), nothing);
        QCOMPARE(press(Qt::Key_N, Qt::NoModifier), pass);
        QCOMPARE(press(Qt::Key_F, Qt::ControlModifier), pass);
        QCOMPARE(press(Qt::Key_F5, Qt::NoModifier), pass);   // Refresh, id 0, is not "nothing"
        QCOMPARE(press(Qt::Key_N, Qt::ControlModifier | Qt::ShiftModifier), pass);
        QCOMPARE(press(Qt::Key_N, Qt::ControlModifier | Qt::KeypadModifier), run + QString::number(CmdNew));
        QCOMPARE(other(QEvent::KeyRelease, Qt::Key_S, Qt::ControlModifier), InPreview::Nothing);
        QCOMPARE(other(QEvent::ShortcutOverride, Qt::Key_S, Qt::ControlModifier), InPreview::Nothing);
        QCOMPARE(other(QEvent::ShortcutOverride, Qt::Key_E, Qt::ControlModifier), InPreview::AsElsewhere);
    }

    void previewFocusKeepsDocumentShortcuts()
    {
        TestApp t;
        QVERIFY(t.start());
        MainWindow *w = mainWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QTRY_VERIFY_WITH_TIMEOUT(w->preview(), 20000);
        PreviewKeyHook *hook = ActivePreviewKeyHook();
        QVERIFY(hook);
        QVERIFY(!hook->installed());

        type(markdown(), "keep me");
        w->preview()->setFocus();
        QTRY_COMPARE_WITH_TIMEOUT(w->focusedPane(), FocusedPane::Preview, 10000);
        QVERIFY(hook->installed());
        QWidget *target = QApplication::focusWidget();

        // Ctrl+N runs New once: one question about the unsaved text (answered Cancel).
        QTest::keyClick(target, Qt::Key_N, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(t.platform.messageCount(), 1, 10000);
        QCOMPARE(t.platform.lastMessage().text, QStringLiteral("Save changes before closing?"));
        QCoreApplication::processEvents();
        QCOMPARE(t.platform.messageCount(), 1);
        // Not again on auto-repeat.
        QKeyEvent repeat(QEvent::KeyPress, Qt::Key_N, Qt::ControlModifier, QString(), true);
        QApplication::sendEvent(target, &repeat);
        QTest::keyRelease(target, Qt::Key_N, Qt::ControlModifier);
        QCoreApplication::processEvents();
        QCOMPARE(t.platform.messageCount(), 1);

        // Ctrl+P does nothing in the preview (no page goes to the browser) ...
        QTest::keyClick(target, Qt::Key_P, Qt::ControlModifier);
        QCoreApplication::processEvents();
        QCOMPARE(t.platform.openedUrls().size(), 0);
        // ... and neither does Ctrl+L (no Load CSS dialog).
        QTest::keyClick(target, Qt::Key_L, Qt::ControlModifier);
        QCoreApplication::processEvents();
        QVERIFY(t.platform.dialogs.isEmpty());

        // ... and leaving the preview removes the hook, so Ctrl+P acts again.
        w->markdownEditor()->setFocus();
        QTRY_COMPARE_WITH_TIMEOUT(w->focusedPane(), FocusedPane::Markdown, 10000);
        QVERIFY(!hook->installed());
        QTest::keyClick(w->markdownEditor(), Qt::Key_P, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(t.platform.openedUrls().size(), 1, 20000);
        QTest::keyClick(w->markdownEditor(), Qt::Key_L, Qt::ControlModifier);
        QTRY_COMPARE_WITH_TIMEOUT(t.platform.dialogs.size(), 1, 10000);
        QCOMPARE(t.platform.dialogs[0].title, QStringLiteral("Load CSS"));
    }

    void aboutBox()
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
