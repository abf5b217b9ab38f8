// Saving: names, the head file rule, the exported page with its stylesheet copy, the
// stylesheet travelling with the document, and saves that fail.
#include "common/TestSupport.h"

#include "core/AppState.h"
#include "app/BackgroundExport.h"
#include "app/Commands.h"
#include "app/Document.h"
#include "app/MainWindow.h"
#include "editor/Editor.h"
#include "settings/Settings.h"

#include <QDir>
#include <QFileInfo>
#include <Qsci/qsciscintillabase.h>
#include <csignal>
#include <sys/resource.h>

using Sci = QsciScintillaBase;

namespace {


bool canUndo(QsciScintillaBase *editor) { return editor->SendScintilla(Sci::SCI_CANUNDO) != 0; }

QString status() { return mainWindow()->statusText(); }

} // namespace

class TestDocumentSave : public QObject {
    Q_OBJECT
private slots:
    void saveChoosesTheName()
    {
        TestApp t;
        QVERIFY(t.useMissingConverter());
        QVERIFY(t.start());
        type(markdown(), "# Report\n");

        // Cancelled: nothing changes.
        QCOMPARE(SaveDocument(), SaveResult::Cancelled);
        QCOMPARE(t.platform.dialogs.size(), 1);
        QCOMPARE(t.platform.dialogs[0].kind, QStringLiteral("save"));
        QCOMPARE(t.platform.dialogs[0].title, QStringLiteral("Save"));
        QCOMPARE(t.platform.dialogs[0].filter, QStringLiteral("Markdown (*.md)"));
        QCOMPARE(t.platform.dialogs[0].start, DesktopFolder());
        QCOMPARE(app().documentPath.get(), QString());
        QVERIFY(DocumentIsUnsaved());

        // A name without extension gets ".md".
        t.platform.fileAnswers.enqueue(t.docsDir() + "report");
        RunCommand(CmdSave);
        QCOMPARE(app().documentPath.get(), t.docsDir() + "report.md");
        QCOMPARE(readFileBytes(t.docsDir() + "report.md"), QByteArray("# Report\n"));
        QVERIFY(!QFileInfo::exists(t.docsDir() + "report"));
        QCOMPARE(status(), QStringLiteral("Saving 'report.md'... done."));
        QCOMPARE(app().lastFolder, t.docsDir());
        QCOMPARE(app().settings.LastPath, t.docsDir());
        // Saved, but the undo history stays.
        QVERIFY(!DocumentIsUnsaved());
        QVERIFY(canUndo(markdown()));

        // A named document saves straight away.
        type(markdown(), "more ");
        QCOMPARE(SaveDocument(), SaveResult::Completed);
        QCOMPARE(t.platform.dialogs.size(), 2);
        QCOMPARE(readFileBytes(t.docsDir() + "report.md"), QByteArray("# Report\nmore "));

        // Any other extension is kept; an existing file is replaced without a question.
        QVERIFY(writeFileBytes(t.docsDir() + "report.markdown", "old"));
        NewDocument(true);
        type(markdown(), "new");
        t.platform.fileAnswers.enqueue(t.docsDir() + "report.markdown");
        QCOMPARE(SaveDocument(), SaveResult::Completed);
        QCOMPARE(t.platform.dialogs.last().start, t.docsDir());
        QCOMPARE(app().documentPath.get(), t.docsDir() + "report.markdown");
        QCOMPARE(readFileBytes(t.docsDir() + "report.markdown"), QByteArray("new"));
        QCOMPARE(t.platform.messageCount(), 0);
    }

    void saveAsStartsWhereItShould()
    {
        TestApp t;
        QVERIFY(t.useMissingConverter());
        QVERIFY(t.start());
        type(markdown(), "text\n");
        RunCommand(CmdSaveAs);
        QCOMPARE(t.platform.dialogs.last().start, DesktopFolder());
        QCOMPARE(t.platform.dialogs.last().title, QStringLiteral("Save"));
        QCOMPARE(t.platform.dialogs.last().filter, QStringLiteral("Markdown (*.md)"));
        QCOMPARE(app().documentPath.get(), QString());
        QVERIFY(DocumentIsUnsaved());

        app().lastFolder = t.root();
        RunCommand(CmdSaveAs);
        QCOMPARE(t.platform.dialogs.last().start, t.root());

        t.platform.fileAnswers.enqueue(t.docsDir() + "first");
        RunCommand(CmdSaveAs);
        QCOMPARE(readFileBytes(t.docsDir() + "first.md"), QByteArray("text\n"));
        QVERIFY(!DocumentIsUnsaved());

        // Named: the dialog starts on the document itself; the new name becomes the document.
        QDir().mkpath(t.root() + "other");
        t.platform.fileAnswers.enqueue(t.root() + "other/second.txt");
        RunCommand(CmdSaveAs);
        QCOMPARE(t.platform.dialogs.last().start, t.docsDir() + "first.md");
        QCOMPARE(app().documentPath.get(), t.root() + "other/second.txt");
        QCOMPARE(readFileBytes(t.root() + "other/second.txt"), QByteArray("text\n"));
        QCOMPARE(app().lastFolder, t.root() + "other/");
        QCOMPARE(status(), QStringLiteral("Saving 'second.txt'... done."));
    }

    void headFileOnlyWhenNeeded()
    {
        TestApp t;
        QVERIFY(t.useMissingConverter());
        QVERIFY(t.start());
        const QString docs = t.docsDir();

        // The template alone: no head file.
        type(markdown(), "body\n");
        t.platform.fileAnswers.enqueue(docs + "plain.md");
        QCOMPARE(SaveDocument(), SaveResult::Completed);
        QVERIFY(QFileInfo::exists(docs + "plain.md"));
        QVERIFY(!QFileInfo::exists(docs + "plain.head.txt"));

        // A changed head: written beside the document.
        type(head(), "<meta name=\"x\">\n");
        QVERIFY(DocumentIsUnsaved());
        QCOMPARE(SaveDocument(), SaveResult::Completed);
        QCOMPARE(readFileBytes(docs + "plain.head.txt"), QByteArray("<meta name=\"x\">\n") + kHeadTemplate);
        QVERIFY(!DocumentIsUnsaved());

        // A head file that exists is rewritten even with the template in the editor.
        QVERIFY(writeFileBytes(docs + "other.md", "other\n"));
        OpenDocument(docs + "other.md");
        QCOMPARE(EditorText(head()), QByteArray(kHeadTemplate));
        QVERIFY(writeFileBytes(docs + "other.head.txt", "written meanwhile"));
        QCOMPARE(SaveDocument(), SaveResult::Completed);
        QCOMPARE(readFileBytes(docs + "other.head.txt"), QByteArray(kHeadTemplate));
    }

    void noExportWithoutConverter()
    {
        TestApp t;
        QVERIFY(t.useMissingConverter());
        QVERIFY(t.start());
        QTRY_COMPARE_WITH_TIMEOUT(app().converterState.load(), int(ConverterFailed), 20000);
        type(markdown(), "# Title\n");
        RunCommand(100);  // a stylesheet change is saved too
        t.platform.fileAnswers.enqueue(t.docsDir() + "doc.md");
        QCOMPARE(SaveDocument(), SaveResult::Completed);
        QCOMPARE(readFileBytes(t.docsDir() + "doc.md"), QByteArray("# Title\n"));
        QVERIFY(!QFileInfo::exists(t.docsDir() + "doc.htm"));
        QVERIFY(!QFileInfo::exists(t.docsDir() + "air.css"));
        QCOMPARE(status(), QStringLiteral("Saving 'doc.md'... done."));
        QCOMPARE(app().stylesheetChanged, 0);
        QVERIFY(!DocumentIsUnsaved());
    }

    void stylesheetTravelsWithTheDocument()
    {
        TestApp t;
        QDir().mkpath(t.binDir() + "css");
        QVERIFY(writeFileBytes(t.binDir() + "css/b.css", "p { color: blue; }\n"));
        QVERIFY(t.start());
        QTRY_VERIFY_WITH_TIMEOUT(app().converterState.load() >= ConverterIdle, 20000);
        const QString docs = t.docsDir();

        type(markdown(), "# Travel\n\nText.\n");
        RunCommand(101);  // b.css
        t.platform.fileAnswers.enqueue(docs + "trip.md");
        QCOMPARE(SaveDocument(), SaveResult::Completed);
        WaitForExport();
        QCOMPARE(status(), QStringLiteral("Saving 'trip.md'... done."));
        QCOMPARE(readFileBytes(docs + "b.css"), QByteArray("p { color: blue; }\n"));
        const QByteArray page = readFileBytes(docs + "trip.htm");
        QVERIFY(page.contains("Travel"));
        QVERIFY(page.contains("href=\"b.css\""));
        QCOMPARE(app().stylesheetChanged, 0);

        // Reopened in a new start: the copy beside the document is the stylesheet.
        t.shutdown();
        QVERIFY(t.start({docs + "trip.md"}));
        QCOMPARE(app().currentStylesheet.get(), docs + "b.css");
        QTRY_VERIFY_WITH_TIMEOUT(app().converterState.load() >= ConverterIdle, 20000);

        // Another stylesheet: its copy joins the first; an edited copy already there stays.
        QVERIFY(writeFileBytes(docs + "air.css", "/* my air */\n"));
        RunCommand(100);  // air.css from the library
        QCOMPARE(SaveDocument(), SaveResult::Completed);
        WaitForExport();
        QCOMPARE(readFileBytes(docs + "air.css"), QByteArray("/* my air */\n"));
        QVERIFY(QFileInfo::exists(docs + "b.css"));
        QVERIFY(readFileBytes(docs + "trip.htm").contains("href=\"air.css\""));

        // After New the library default is back; Open brings the document's own again.
        NewDocument(false);
        QCOMPARE(app().currentStylesheet.get(), t.binDir() + "css/air.css");
        OpenDocument(docs + "trip.md");
        QCOMPARE(app().currentStylesheet.get(), docs + "air.css");

        // The linked copy deleted: the default is used.
        QVERIFY(QFile::remove(docs + "air.css"));
        OpenDocument(docs + "trip.md");
        QCOMPARE(app().currentStylesheet.get(), t.binDir() + "css/air.css");
    }

    void failedExportIsReported()
    {
        TestApp t;
        QVERIFY(t.start());
        QTRY_VERIFY_WITH_TIMEOUT(app().converterState.load() >= ConverterIdle, 20000);
        // The page cannot be written where a folder has its name.
        QDir().mkpath(t.docsDir() + "blocked.htm");
        type(markdown(), "text\n");
        t.platform.fileAnswers.enqueue(t.docsDir() + "blocked.md");
        QCOMPARE(SaveDocument(), SaveResult::Completed);
        WaitForExport();
        QCOMPARE(readFileBytes(t.docsDir() + "blocked.md"), QByteArray("text\n"));
        QCOMPARE(status(), QStringLiteral("Saving 'blocked.md'... failed."));
        QVERIFY(!DocumentIsUnsaved());
    }

    void failedWriteKeepsTheOldFile()
    {
        TestApp t;
        QVERIFY(t.useMissingConverter());
        QVERIFY(t.start());
        const QString path = t.docsDir() + "keep.md";
        const QByteArray old = "old text that must survive\n";
        QVERIFY(writeFileBytes(path, old));
        OpenDocument(path);
        type(markdown(), QByteArray(64 * 1024, 'x'));

        // A file size limit makes every write beyond 4 KB fail, root or not.
        struct rlimit saved;
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        struct rlimit small = saved;
        small.rlim_cur = 4096;
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        const SaveResult result = SaveDocument();
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);

        QCOMPARE(result, SaveResult::Failed);
        QCOMPARE(readFileBytes(path), old);
        QCOMPARE(status(), QStringLiteral("Saving 'keep.md'... failed."));
        QVERIFY(DocumentIsUnsaved());
        // No half-written file is left beside it.
        QCOMPARE(QDir(t.docsDir()).entryList(QDir::Files), QStringList{"keep.md"});

        // A name that cannot be created at all.
        QVERIFY(writeFileBytes(t.root() + "plainfile", "x"));
        t.platform.fileAnswers.enqueue(t.root() + "plainfile/new.md");
        RunCommand(CmdSaveAs);
        QCOMPARE(status(), QStringLiteral("Saving 'new.md'... failed."));
        QVERIFY(DocumentIsUnsaved());

        // Once writing works again the save completes.
        t.platform.fileAnswers.enqueue(path);
        RunCommand(CmdSaveAs);
        QCOMPARE(readFileBytes(path).size(), old.size() + 64 * 1024);
        QVERIFY(!DocumentIsUnsaved());
    }

    void linksAndPermissionsAreKept()
    {
        TestApp t;
        QVERIFY(t.useMissingConverter());
        QVERIFY(t.start());
        const QString docs = t.docsDir();
        QDir().mkpath(docs + "real");
        QVERIFY(writeFileBytes(docs + "real/target.md", "target\n"));
        QVERIFY(QFile::setPermissions(docs + "real/target.md",
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        QVERIFY(QFile::link(docs + "real/target.md", docs + "link.md"));
        OpenDocument(docs + "link.md");
        QCOMPARE(EditorText(markdown()), QByteArray("target\n"));
        type(markdown(), "new ");
        QCOMPARE(SaveDocument(), SaveResult::Completed);
        QVERIFY(QFileInfo(docs + "link.md").isSymLink());
        QCOMPARE(readFileBytes(docs + "real/target.md"), QByteArray("new target\n"));
        const QFile::Permissions ownerGroupOther(0x7077);
        QCOMPARE(QFile::permissions(docs + "real/target.md") & ownerGroupOther,
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    }
};

QUILLDOWN_TEST_MAIN(TestDocumentSave)
#include "tst_document_save.moc"
