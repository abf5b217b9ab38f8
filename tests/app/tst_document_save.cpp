// Saving, on a document over two bare editors: names, the head file rule, the exported page with its stylesheet copy, the
// stylesheet travelling with the document, and saves that fail.
#include "common/DocumentRig.h"
#include "common/TestSupport.h"

#include "core/AppState.h"
#include "app/BackgroundExport.h"
#include "app/Document.h"
#include "app/ViewCommands.h"
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

} // namespace

class TestDocumentSave : public QObject {
    Q_OBJECT
private slots:
    void saveChoosesTheName()
    {
        DocumentRig t;
        QVERIFY(t.useMissingConverter());
        QVERIFY(t.start());
        type(t.md(), "# Report\n");

        // Cancelled: nothing changes.
        QCOMPARE(SaveDocument(t.doc()), SaveResult::Cancelled);
        QCOMPARE(t.platform.dialogs.size(), 1);
        QCOMPARE(t.platform.dialogs[0].kind, QStringLiteral("save"));
        QCOMPARE(t.platform.dialogs[0].title, QStringLiteral("Save"));
        QCOMPARE(t.platform.dialogs[0].filter, QStringLiteral("Markdown (*.md)"));
        QCOMPARE(t.platform.dialogs[0].start, DesktopFolder());
        QCOMPARE(t.doc().path(), QString());
        QVERIFY(t.doc().isModified());

        // A name without extension gets ".md".
        t.platform.fileAnswers.enqueue(t.docsDir() + "report");
        SaveDocument(t.doc());
        QCOMPARE(t.doc().path(), t.docsDir() + "report.md");
        QCOMPARE(readFileBytes(t.docsDir() + "report.md"), QByteArray("# Report\n"));
        QVERIFY(!QFileInfo::exists(t.docsDir() + "report"));
        QCOMPARE(t.statusText, QStringLiteral("Saving 'report.md'... saved, but the page was not exported: Pandoc is not available."));
        QCOMPARE(t.doc().lastFolder(), t.docsDir());
        QCOMPARE(app().settings.LastPath, t.docsDir());
        // Saved, but the undo history stays.
        QVERIFY(!t.doc().isModified());
        QVERIFY(canUndo(t.md()));

        // A named document saves straight away.
        type(t.md(), "more ");
        QCOMPARE(SaveDocument(t.doc()), SaveResult::Completed);
        QCOMPARE(t.platform.dialogs.size(), 2);
        QCOMPARE(readFileBytes(t.docsDir() + "report.md"), QByteArray("# Report\nmore "));

        // Any other extension is kept; an existing file is replaced without a question.
        QVERIFY(writeFileBytes(t.docsDir() + "report.markdown", "old"));
        NewDocument(t.doc(), true);
        type(t.md(), "new");
        t.platform.fileAnswers.enqueue(t.docsDir() + "report.markdown");
        QCOMPARE(SaveDocument(t.doc()), SaveResult::Completed);
        QCOMPARE(t.platform.dialogs.last().start, t.docsDir());
        QCOMPARE(t.doc().path(), t.docsDir() + "report.markdown");
        QCOMPARE(readFileBytes(t.docsDir() + "report.markdown"), QByteArray("new"));
        QCOMPARE(t.platform.messageCount(), 0);
    }

    void saveAsStartsWhereItShould()
    {
        DocumentRig t;
        QVERIFY(t.useMissingConverter());
        QVERIFY(t.start());
        type(t.md(), "text\n");
        SaveDocumentAs(t.doc());
        QCOMPARE(t.platform.dialogs.last().start, DesktopFolder());
        QCOMPARE(t.platform.dialogs.last().title, QStringLiteral("Save"));
        QCOMPARE(t.platform.dialogs.last().filter, QStringLiteral("Markdown (*.md)"));
        QCOMPARE(t.doc().path(), QString());
        QVERIFY(t.doc().isModified());

        t.doc().setLastFolder(t.root());
        SaveDocumentAs(t.doc());
        QCOMPARE(t.platform.dialogs.last().start, t.root());

        t.platform.fileAnswers.enqueue(t.docsDir() + "first");
        SaveDocumentAs(t.doc());
        QCOMPARE(readFileBytes(t.docsDir() + "first.md"), QByteArray("text\n"));
        QVERIFY(!t.doc().isModified());

        // Named: the dialog starts on the document itself; the new name becomes the document.
        QDir().mkpath(t.root() + "other");
        t.platform.fileAnswers.enqueue(t.root() + "other/second.txt");
        SaveDocumentAs(t.doc());
        QCOMPARE(t.platform.dialogs.last().start, t.docsDir() + "first.md");
        QCOMPARE(t.doc().path(), t.root() + "other/second.txt");
        QCOMPARE(readFileBytes(t.root() + "other/second.txt"), QByteArray("text\n"));
        QCOMPARE(t.doc().lastFolder(), t.root() + "other/");
        QCOMPARE(t.statusText, QStringLiteral("Saving 'second.txt'... saved, but the page was not exported: Pandoc is not available."));
    }

    void headFileOnlyWhenNeeded()
    {
        DocumentRig t;
        QVERIFY(t.useMissingConverter());
        QVERIFY(t.start());
        const QString docs = t.docsDir();

        // The template alone: no head file.
        type(t.md(), "body\n");
        t.platform.fileAnswers.enqueue(docs + "plain.md");
        QCOMPARE(SaveDocument(t.doc()), SaveResult::Completed);
        QVERIFY(QFileInfo::exists(docs + "plain.md"));
        QVERIFY(!QFileInfo::exists(docs + "plain.head.txt"));

        // A changed head: written beside the document.
        type(t.hd(), "<meta name=\"x\">\n");
        QVERIFY(t.doc().isModified());
        QCOMPARE(SaveDocument(t.doc()), SaveResult::Completed);
        QCOMPARE(readFileBytes(docs + "plain.head.txt"), QByteArray("<meta name=\"x\">\n") + kHeadTemplate);
        QVERIFY(!t.doc().isModified());

        // A head file that exists is rewritten even with the template in the editor.
        QVERIFY(writeFileBytes(docs + "other.md", "other\n"));
        OpenDocument(t.doc(), docs + "other.md");
        QCOMPARE(EditorText(t.hd()), QByteArray(kHeadTemplate));
        QVERIFY(writeFileBytes(docs + "other.head.txt", "written meanwhile"));
        QCOMPARE(SaveDocument(t.doc()), SaveResult::Completed);
        QCOMPARE(readFileBytes(docs + "other.head.txt"), QByteArray(kHeadTemplate));
    }

    void noExportWithoutConverter()
    {
        DocumentRig t;
        QVERIFY(t.useMissingConverter());
        QVERIFY(t.start());
        QCOMPARE(app().converterState.load(), int(ConverterFailed));
        type(t.md(), "# Title\n");
        UseStylesheetEntry(t.doc(), 0);  // a stylesheet change is saved too
        t.platform.fileAnswers.enqueue(t.docsDir() + "doc.md");
        QCOMPARE(SaveDocument(t.doc()), SaveResult::Completed);
        QCOMPARE(readFileBytes(t.docsDir() + "doc.md"), QByteArray("# Title\n"));
        QVERIFY(!QFileInfo::exists(t.docsDir() + "doc.htm"));
        QVERIFY(!QFileInfo::exists(t.docsDir() + "air.css"));
        QCOMPARE(t.statusText, QStringLiteral("Saving 'doc.md'... saved, but the page was not exported: Pandoc is not available."));
        QCOMPARE(int(t.doc().stylesheetChanged()), 0);
        QVERIFY(!t.doc().isModified());
    }

    void stylesheetTravelsWithTheDocument()
    {
        DocumentRig t;
        QDir().mkpath(t.binDir() + "css");
        QVERIFY(writeFileBytes(t.binDir() + "css/b.css", "p { color: blue; }\n"));
        QVERIFY(t.start());
        QVERIFY(app().converterState.load() >= ConverterIdle);
        const QString docs = t.docsDir();

        type(t.md(), "# Travel\n\nText.\n");
        UseStylesheetEntry(t.doc(), 1);  // b.css
        t.platform.fileAnswers.enqueue(docs + "trip.md");
        QCOMPARE(SaveDocument(t.doc()), SaveResult::Completed);
        WaitForExport(t.doc().exporter(), nullptr);
        QCOMPARE(t.statusText, QStringLiteral("Saving 'trip.md'... done."));
        QCOMPARE(readFileBytes(docs + "b.css"), QByteArray("p { color: blue; }\n"));
        const QByteArray page = readFileBytes(docs + "trip.htm");
        QVERIFY(page.contains("Travel"));
        QVERIFY(page.contains("href=\"b.css\""));
        QCOMPARE(int(t.doc().stylesheetChanged()), 0);

        // Reopened in a new start: the copy beside the document is the stylesheet.
        t.shutdown();
        QVERIFY(t.start(docs + "trip.md"));
        QCOMPARE(t.doc().stylesheet(), docs + "b.css");
        QVERIFY(app().converterState.load() >= ConverterIdle);

        // Another stylesheet: its copy joins the first; an edited copy already there stays.
        QVERIFY(writeFileBytes(docs + "air.css", "/* my air */\n"));
        UseStylesheetEntry(t.doc(), 0);  // air.css from the library
        QCOMPARE(SaveDocument(t.doc()), SaveResult::Completed);
        WaitForExport(t.doc().exporter(), nullptr);
        QCOMPARE(readFileBytes(docs + "air.css"), QByteArray("/* my air */\n"));
        QVERIFY(QFileInfo::exists(docs + "b.css"));
        QVERIFY(readFileBytes(docs + "trip.htm").contains("href=\"air.css\""));

        // After New the library default is back; Open brings the document's own again.
        NewDocument(t.doc(), false);
        QCOMPARE(t.doc().stylesheet(), t.binDir() + "css/air.css");
        OpenDocument(t.doc(), docs + "trip.md");
        QCOMPARE(t.doc().stylesheet(), docs + "air.css");

        // The linked copy deleted: the default is used.
        QVERIFY(QFile::remove(docs + "air.css"));
        OpenDocument(t.doc(), docs + "trip.md");
        QCOMPARE(t.doc().stylesheet(), t.binDir() + "css/air.css");
    }

    void failedExportIsReported()
    {
        DocumentRig t;
        QVERIFY(t.start());
        QVERIFY(app().converterState.load() >= ConverterIdle);
        // The page cannot be written where a folder has its name.
        QDir().mkpath(t.docsDir() + "blocked.htm");
        type(t.md(), "text\n");
        t.platform.fileAnswers.enqueue(t.docsDir() + "blocked.md");
        QCOMPARE(SaveDocument(t.doc()), SaveResult::Completed);
        WaitForExport(t.doc().exporter(), nullptr);
        QCOMPARE(readFileBytes(t.docsDir() + "blocked.md"), QByteArray("text\n"));
        QCOMPARE(t.statusText, QStringLiteral("Saving 'blocked.md'... saved, but the page was not exported."));
        QVERIFY(!t.doc().isModified());
    }

    void failedWriteKeepsTheOldFile()
    {
        DocumentRig t;
        QVERIFY(t.useMissingConverter());
        QVERIFY(t.start());
        const QString path = t.docsDir() + "keep.md";
        const QByteArray old = "old text that must survive\n";
        QVERIFY(writeFileBytes(path, old));
        OpenDocument(t.doc(), path);
        type(t.md(), QByteArray(64 * 1024, 'x'));

        // A file size limit makes every write beyond 4 KB fail, root or not.
        struct rlimit saved;
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        struct rlimit small = saved;
        small.rlim_cur = 4096;
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        const SaveResult result = SaveDocument(t.doc());
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);

        QCOMPARE(result, SaveResult::Failed);
        QCOMPARE(readFileBytes(path), old);
        QCOMPARE(t.statusText, QStringLiteral("Saving 'keep.md'... failed."));
        QVERIFY(t.doc().isModified());
        // No half-written file is left beside it.
        QCOMPARE(QDir(t.docsDir()).entryList(QDir::Files), QStringList{"keep.md"});

        // A name that cannot be created at all.
        QVERIFY(writeFileBytes(t.root() + "plainfile", "x"));
        t.platform.fileAnswers.enqueue(t.root() + "plainfile/new.md");
        SaveDocumentAs(t.doc());
        QCOMPARE(t.statusText, QStringLiteral("Saving 'new.md'... failed."));
        QVERIFY(t.doc().isModified());

        // Once writing works again the save completes.
        t.platform.fileAnswers.enqueue(path);
        SaveDocumentAs(t.doc());
        QCOMPARE(readFileBytes(path).size(), old.size() + 64 * 1024);
        QVERIFY(!t.doc().isModified());
    }

    void linksAndPermissionsAreKept()
    {
        DocumentRig t;
        QVERIFY(t.useMissingConverter());
        QVERIFY(t.start());
        const QString docs = t.docsDir();
        QDir().mkpath(docs + "real");
        QVERIFY(writeFileBytes(docs + "real/target.md", "target\n"));
        QVERIFY(QFile::setPermissions(docs + "real/target.md",
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        QVERIFY(QFile::link(docs + "real/target.md", docs + "link.md"));
        OpenDocument(t.doc(), docs + "link.md");
        QCOMPARE(EditorText(t.md()), QByteArray("target\n"));
        type(t.md(), "new ");
        QCOMPARE(SaveDocument(t.doc()), SaveResult::Completed);
        QVERIFY(QFileInfo(docs + "link.md").isSymLink());
        QCOMPARE(readFileBytes(docs + "real/target.md"), QByteArray("new target\n"));
        const QFile::Permissions ownerGroupOther(0x7077);
        QCOMPARE(QFile::permissions(docs + "real/target.md") & ownerGroupOther,
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    }
};

QUILLDOWN_TEST_MAIN(TestDocumentSave)
#include "tst_document_save.moc"
