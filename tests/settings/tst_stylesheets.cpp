// The stylesheet library: first start, the default air.css, the menu list and the
// commands that choose a stylesheet.
#include "common/TestSupport.h"

#include "core/AppState.h"
#include "app/Commands.h"
#include "app/Document.h"
#include "app/MainWindow.h"
#include "preview/PreviewPane.h"
#include "settings/Paths.h"
#include "settings/Settings.h"
#include "settings/Stylesheets.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>

namespace {

QMenu *stylesheetMenu(const MainWindow *w)
{
    for (QAction *top : w->menuBar()->actions()) {
        if (top->text() != QStringLiteral("&HTML"))
            continue;
        for (QAction *a : top->menu()->actions())
            if (a->menu() && a->text() == QStringLiteral("Select &CSS"))
                return a->menu();
    }
    return nullptr;
}

// "name|id" for every item of the submenu.
QStringList describe(const QMenu *menu)
{
    QStringList out;
    for (QAction *a : menu->actions())
        out << a->text() + u'|' + QString::number(a->data().toInt());
    return out;
}

} // namespace

class TestStylesheets : public QObject {
    Q_OBJECT
private slots:
    void firstStartWritesTheDefault()
    {
        TestApp t;
        QVERIFY(!QFileInfo::exists(t.binDir() + "css"));
        QVERIFY(t.start());
        const QString air = t.binDir() + "css/air.css";
        QCOMPARE(StylesheetFolder(app().location), t.binDir() + "css/");
        QCOMPARE(DefaultStylesheetPath(app().location), air);
        // The file holds the compiled-in stylesheet byte for byte: the one in resources/.
        const QByteArray written = readFileBytes(air);
        QCOMPARE(written, readFileBytes(QStringLiteral(QUILLDOWN_TEST_SOURCE_DIR "/../resources/air.css")));
        QCOMPARE(written, DefaultStylesheetText());
        QVERIFY(written.size() > 1000);
        for (char c : written)
            QVERIFY2(uchar(c) < 0x80 && c != '\r', "plain ASCII with LF line ends");
        for (const char *rule : {"@media print", "line-height: 1.85", "max-width: 48rem", "#3498db", "#2980b9",
                                 "border-radius: 50%", ".air-h2", "@import"})
            QVERIFY2(written.contains(rule), rule);
        QCOMPARE(app().stylesheetList, QStringList{"air.css"});
        QMenu *menu = stylesheetMenu(mainWindow());
        QVERIFY(menu);
        QCOMPARE(describe(menu), QStringList{"air.css|100"});
        QCOMPARE(document().stylesheet(), air);
    }

    void existingDefaultIsNeverRewritten()
    {
        TestApp t;   // its folders only: the program is not started
        QDir().mkpath(t.binDir() + "css");
        const QByteArray edited = "body { color: red; }\r\n/* mine */";
        QVERIFY(writeFileBytes(t.binDir() + "css/air.css", edited));
        const SettingsLocation location = DecideSettingsLocation(t.binDir());
        QVERIFY(PrepareStylesheetFolder(location));
        QCOMPARE(readFileBytes(t.binDir() + "css/air.css"), edited);
        QVERIFY(PrepareStylesheetFolder(location));
        QCOMPARE(readFileBytes(t.binDir() + "css/air.css"), edited);
    }

    void emptyDefaultStopsStartup()
    {
        TestApp t;
        QDir().mkpath(t.binDir() + "css");
        QVERIFY(writeFileBytes(t.binDir() + "css/air.css", QByteArray()));
        QVERIFY(!t.start());
        QCOMPARE(t.platform.lastMessage().text, QStringLiteral("Could not initialize Pandoc!"));
        QCOMPARE(t.platform.lastMessage().icon, MessageIcon::Error);
        QCOMPARE(readFileBytes(t.binDir() + "css/air.css"), QByteArray());
    }

    void menuOrderIdsAndChoices()
    {
        TestApp t;
        const QString css = t.binDir() + "css/";
        QDir().mkpath(css + "old.css");  // a folder named like a stylesheet
        QVERIFY(writeFileBytes(css + "b.css", "p { color: blue; }\n"));
        QVERIFY(writeFileBytes(css + "A.css", "p { color: green; }\n"));
        QVERIFY(writeFileBytes(css + "notes.txt", "not a stylesheet"));
        QVERIFY(t.start());
        QCOMPARE(app().stylesheetList, QStringList({"A.css", "air.css", "b.css", "old.css"}));
        QCOMPARE(describe(stylesheetMenu(mainWindow())),
                 QStringList({"A.css|100", "air.css|101", "b.css|102", "old.css|103"}));

        // A stylesheet added while running waits for the next start.
        QVERIFY(writeFileBytes(css + "c.css", "p {}\n"));
        RunCommand(104);
        QCOMPARE(app().stylesheetList.size(), 4);
        QCOMPARE(document().stylesheet(), css + "air.css");

        // The folder is listed, but choosing it changes nothing.
        RunCommand(103);
        QCOMPARE(document().stylesheet(), css + "air.css");
        QCOMPARE(int(document().stylesheetChanged()), 0);
        QVERIFY(!document().isModified());

        // A file deleted since start-up: nothing happens either.
        QVERIFY(QFile::remove(css + "A.css"));
        mainWindow()->commandAction(100)->trigger();
        QCOMPARE(document().stylesheet(), css + "air.css");

        // Choosing a stylesheet, even the one in use, counts as an unsaved change.
        mainWindow()->commandAction(101)->trigger();
        QCOMPARE(document().stylesheet(), css + "air.css");
        QCOMPARE(int(document().stylesheetChanged()), 1);
        QVERIFY(document().isModified());
        RunCommand(102);
        QCOMPARE(document().stylesheet(), css + "b.css");
        t.platform.messageAnswers.enqueue(MessageAnswer::Cancel);
        QVERIFY(!ConfirmDiscard(document()));
        QCOMPARE(t.platform.lastMessage().text, QStringLiteral("Save changes before closing?"));
    }

    void chosenStylesheetRestylesThePreview()
    {
        TestApp t;
        QDir().mkpath(t.binDir() + "css");
        QVERIFY(writeFileBytes(t.binDir() + "css/b.css", "p { color: blue; }\n"));
        QVERIFY(t.start());
        PreviewPane *preview = mainWindow()->preview();
        auto shownPage = [&] {
            const QString page = preview->shownPage();
            return page.isEmpty() ? QByteArray() : readFileBytes(page);
        };
        QTRY_VERIFY_WITH_TIMEOUT(shownPage().contains("_tempair.css"), 20000);
        RunCommand(101);  // b.css
        QTRY_VERIFY_WITH_TIMEOUT(shownPage().contains("_tempb.css"), 20000);
    }

    void loadCssStartsBesideTheDocument()
    {
        TestApp t;
        QVERIFY(t.start());
        const QString css = t.binDir() + "css/";
        // A new document: the dialog opens the folder of the stylesheet in use.
        RunCommand(CmdLoadCss);
        QCOMPARE(t.platform.dialogs.size(), 1);
        QCOMPARE(t.platform.dialogs[0].kind, QStringLiteral("open"));
        QCOMPARE(t.platform.dialogs[0].title, QStringLiteral("Load CSS"));
        QCOMPARE(t.platform.dialogs[0].filter, QStringLiteral("CSS Files (*.css)"));
        QCOMPARE(t.platform.dialogs[0].start, css);
        QCOMPARE(int(document().stylesheetChanged()), 0);  // cancelled

        // A saved document whose folder holds a stylesheet: the dialog pre-selects it.
        QVERIFY(writeFileBytes(t.docsDir() + "notes.md", "# Notes\n"));
        QVERIFY(writeFileBytes(t.docsDir() + "style.css", "h1 { color: red; }\n"));
        OpenDocument(document(), t.docsDir() + "notes.md");
        const QString elsewhere = t.root() + "other/mine.css";
        QDir().mkpath(t.root() + "other");
        QVERIFY(writeFileBytes(elsewhere, "p {}\n"));
        t.platform.fileAnswers.enqueue(elsewhere);
        RunCommand(CmdLoadCss);
        QCOMPARE(t.platform.dialogs.last().start, t.docsDir() + "style.css");
        // Used where it lies: not copied into the library, not listed.
        QCOMPARE(document().stylesheet(), elsewhere);
        QCOMPARE(int(document().stylesheetChanged()), 1);
        QVERIFY(!QFileInfo::exists(css + "mine.css"));
        QCOMPARE(app().stylesheetList, QStringList{"air.css"});

        // A saved document without a stylesheet beside it: the current stylesheet's folder.
        QVERIFY(QFile::remove(t.docsDir() + "style.css"));
        RunCommand(CmdLoadCss);
        QCOMPARE(t.platform.dialogs.last().start, t.root() + "other/");
    }

    void installedProgramKeepsItsLibraryPerUser()
    {
        QVERIFY(LibraryBesideExecutable(QDir::tempPath(), false));
        QVERIFY(LibraryBesideExecutable(QStringLiteral("/nonexistent/bin/"), true));
        TestApp t;
        // A program folder the program cannot write to (missing is the case every user,
        // root included, cannot write).
        SetBaseDirectoryOverride(t.root() + "usr/bin/");
        QCOMPARE(StylesheetFolder(DecideSettingsLocation(BaseDirectory())), t.root() + "data/Quilldown/css/");
        QVERIFY(t.start());
        QCOMPARE(readFileBytes(t.root() + "data/Quilldown/css/air.css"), DefaultStylesheetText());
        QCOMPARE(document().stylesheet(), t.root() + "data/Quilldown/css/air.css");
        QCOMPARE(app().stylesheetList, QStringList{"air.css"});

        const QByteArray savedData = qgetenv("XDG_DATA_HOME");
        const QByteArray savedHome = qgetenv("HOME");
        qunsetenv("XDG_DATA_HOME");
        qputenv("HOME", "/home/someone");
        QCOMPARE(UserDataDirectory(QStringLiteral("Quilldown")), QStringLiteral("/home/someone/.local/share/Quilldown/"));
        qputenv("XDG_DATA_HOME", savedData);
        qputenv("HOME", savedHome);
    }
};

QUILLDOWN_TEST_MAIN(TestStylesheets)
#include "tst_stylesheets.moc"
