// Saves that fail half way or not at all: a read-only folder, a full file system, a folder
// removed while its document is open. The user's text must survive every one of them.
#include "fault/FaultSupport.h"
#include "common/Permissions.h"

#include "core/AppState.h"
#include "app/BackgroundExport.h"
#include "app/Commands.h"
#include "app/Document.h"
#include "app/MainWindow.h"
#include "editor/Editor.h"

#include <QDir>
#include <QFileInfo>
#include <Qsci/qsciscintillabase.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

QString status() { return mainWindow()->statusText(); }

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

// What every failed save leaves: the editors unchanged, the document unsaved, the failure named.
void checkFailedSave(const QString &name, const QByteArray &text)
{
    QCOMPARE(EditorText(markdown()), text);
    QVERIFY(document().isModified());
    QCOMPARE(status(), QStringLiteral("Saving '%1'... failed.").arg(name));
}

// Save As into a folder that works: the text arrives whole and the document is saved.
void checkRescue(TestApp &t, const QString &name, const QByteArray &text)
{
    t.platform.fileAnswers.enqueue(t.docsDir() + name);
    RunCommand(CmdSaveAs);
    WaitForExport(document().exporter(), mainWindow());
    QCOMPARE(readFileBytes(t.docsDir() + name), text);
    QCOMPARE(status(), QStringLiteral("Saving '%1'... saved, but the page was not exported: Pandoc is not available.").arg(name));
    QVERIFY(!document().isModified());
}

} // namespace

class TestSaveFaults : public QObject {
    Q_OBJECT
private slots:
    void readOnlyFolder()
    {
        if (!fault::privateMounts())
            QSKIP("Needs root and a private mount namespace to make writes fail for root too.");
        TestApp t;
        QVERIFY(t.useMissingConverter());
        QVERIFY(t.start());
        const QString folder = t.docsDir() + QStringLiteral("locked/");
        QVERIFY(QDir().mkpath(folder));
        const QByteArray old = "# Old\n\nkept\n";
        QVERIFY(writeFileBytes(folder + QStringLiteral("old.md"), old));
        QVERIFY(fault::makeReadOnly(folder));
        fault::MountGuard guard(folder);
        QVERIFY(!QFile(folder + QStringLiteral("probe")).open(QIODevice::WriteOnly));

        OpenDocument(document(), folder + QStringLiteral("old.md"));
        type(markdown(), "new ");
        const QByteArray text = "new " + old;
        RunCommand(CmdSave);
        checkFailedSave(QStringLiteral("old.md"), text);
        QCOMPARE(readFileBytes(folder + QStringLiteral("old.md")), old);

        // Saving again under a new name there: no file at all, not half a one.
        t.platform.fileAnswers.enqueue(folder + QStringLiteral("new.md"));
        RunCommand(CmdSaveAs);
        checkFailedSave(QStringLiteral("new.md"), text);
        QCOMPARE(filesIn(folder), QStringList{QStringLiteral("old.md")});

        // Closing asks; a "Yes" whose save fails keeps the document.
        t.platform.messageAnswers.enqueue(MessageAnswer::Yes);
        RunCommand(CmdNew);
        checkFailedSave(QStringLiteral("new.md"), text);

        checkRescue(t, QStringLiteral("rescued.md"), text);
        QCOMPARE(readFileBytes(folder + QStringLiteral("old.md")), old);
    }

    void fullFileSystem()
    {
        if (!fault::privateMounts())
            QSKIP("Needs root and a private mount namespace to make writes fail for root too.");
        TestApp t;
        QVERIFY(t.useMissingConverter());
        QVERIFY(t.start());
        const QString folder = t.docsDir() + QStringLiteral("small/");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(fault::mountTinyFileSystem(folder, 32));
        fault::MountGuard guard(folder);
        const QByteArray old = "# Small\n";
        QVERIFY(writeFileBytes(folder + QStringLiteral("doc.md"), old));

        // The document no longer fits.
        OpenDocument(document(), folder + QStringLiteral("doc.md"));
        QByteArray text = old + QByteArray(256 * 1024, 'x');
        type(markdown(), QByteArray(256 * 1024, 'x'));
        SaveDocument(document());
        QCOMPARE(EditorText(markdown()).size(), text.size());
        text = EditorText(markdown());
        checkFailedSave(QStringLiteral("doc.md"), text);
        QCOMPARE(readFileBytes(folder + QStringLiteral("doc.md")), old);
        QCOMPARE(filesIn(folder), QStringList{QStringLiteral("doc.md")});

        // The document fits but its head file does not: the head is not lost either.
        NewDocument(document(), true);
        type(markdown(), "short\n");
        const QByteArray headText = QByteArray(256 * 1024, 'h') + kHeadTemplate;
        SetEditorText(head(), headText);
        t.platform.fileAnswers.enqueue(folder + QStringLiteral("fits.md"));
        QCOMPARE(SaveDocument(document()), SaveResult::Failed);
        QVERIFY(document().isModified());
        QCOMPARE(status(), QStringLiteral("Saving 'fits.md'... saved, but the head file 'fits.head.txt' could not be written; the page was not exported: Pandoc is not available."));
        QCOMPARE(readFileBytes(folder + QStringLiteral("fits.md")), QByteArray("short\n"));
        QVERIFY(!QFileInfo::exists(folder + QStringLiteral("fits.head.txt")));
        QCOMPARE(EditorText(head()), headText);

        checkRescue(t, QStringLiteral("roomy.md"), "short\n");
        QCOMPARE(readFileBytes(t.docsDir() + QStringLiteral("roomy.head.txt")), headText);

        // A name that links to a full device: the device is neither written nor replaced.
        const QByteArray device = QFile::encodeName(folder + QStringLiteral("full"));
        QCOMPARE(::mknod(device.constData(), S_IFCHR | 0666, makedev(1, 7)), 0);
        QVERIFY(QFile::link(folder + QStringLiteral("full"), folder + QStringLiteral("linked.md")));
        type(markdown(), "more\n");
        t.platform.fileAnswers.enqueue(folder + QStringLiteral("linked.md"));
        RunCommand(CmdSaveAs);
        checkFailedSave(QStringLiteral("linked.md"), "short\nmore\n");
        struct stat info;
        QCOMPARE(::stat(device.constData(), &info), 0);
        QVERIFY(S_ISCHR(info.st_mode));
        QVERIFY(QFileInfo(folder + QStringLiteral("linked.md")).isSymLink());
        checkRescue(t, QStringLiteral("roomy.md"), "short\nmore\n");
    }

    // A head file the program could not have read (a folder, a pipe, a file it may not
    // read) is never replaced; the document itself is saved, and the status says which
    // file was left alone. Head text typed meanwhile stays unsaved, so it is asked about.
    void headFileThatCannotBeRead()
    {
        TestApp t;
        QVERIFY(t.useMissingConverter());
        QVERIFY(t.start());
        const QString docs = t.docsDir();
        auto saveWith = [&](const QString &name, const QString &why) {
            QVERIFY(writeFileBytes(docs + name + ".md", "old\n"));
            OpenDocument(document(), docs + name + ".md");
            QCOMPARE(EditorText(head()), QByteArray(kHeadTemplate));
            type(markdown(), "new ");
            QCOMPARE(SaveDocument(document()), SaveResult::Completed);
            QCOMPARE(readFileBytes(docs + name + ".md"), QByteArray("new old\n"));
            QVERIFY(!document().isModified());
            QCOMPARE(status(), QStringLiteral("Saving '%1.md'... saved, but the head file '%1.head.txt' %2; the page was not exported: Pandoc is not available.")
                                     .arg(name, why));
        };
        const QString notAFile = QStringLiteral("is not a regular file and was left as it is");

        QVERIFY(QDir().mkpath(docs + "folder.head.txt"));
        saveWith(QStringLiteral("folder"), notAFile);
        QVERIFY(QFileInfo(docs + "folder.head.txt").isDir());

        QVERIFY(fault::makeFifo(docs + "pipe.head.txt"));
        {
            fault::PipeWatch watch(docs + "pipe.head.txt");
            saveWith(QStringLiteral("pipe"), notAFile);
            QVERIFY(!watch.readerSeen());
        }
        struct stat info;
        QCOMPARE(::stat(QFile::encodeName(docs + "pipe.head.txt").constData(), &info), 0);
        QVERIFY(S_ISFIFO(info.st_mode));

        QVERIFY(writeFileBytes(docs + "secret.head.txt", "<meta name=\"secret\">\n"));
        QVERIFY(QFile::setPermissions(docs + "secret.head.txt", QFile::WriteOwner));
        {
            PermissionBitsApply bits;
            saveWith(QStringLiteral("secret"), QStringLiteral("could not be read and was left as it is"));
        }
        QVERIFY(QFile::setPermissions(docs + "secret.head.txt", QFile::ReadOwner | QFile::WriteOwner));
        QCOMPARE(readFileBytes(docs + "secret.head.txt"), QByteArray("<meta name=\"secret\">\n"));

        // Head text typed for a document whose head file is a folder has nowhere to go.
        OpenDocument(document(), docs + "folder.md");
        type(head(), "<style></style>\n");
        QCOMPARE(SaveDocument(document()), SaveResult::Failed);
        QVERIFY(document().isModified());
        QCOMPARE(readFileBytes(docs + "folder.md"), QByteArray("new old\n"));
        t.platform.messageAnswers.enqueue(MessageAnswer::Yes);
        RunCommand(CmdNew);
        QCOMPARE(document().path(), docs + "folder.md");
        QCOMPARE(EditorText(head()), QByteArray("<style></style>\n") + kHeadTemplate);
    }

    void folderRemovedWhileOpen()
    {
        TestApp t;
        QVERIFY(t.useMissingConverter());
        QVERIFY(t.start());
        const QString folder = t.docsDir() + QStringLiteral("gone/");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(writeFileBytes(folder + QStringLiteral("a.md"), "first\n"));
        OpenDocument(document(), folder + QStringLiteral("a.md"));
        type(head(), "<meta name=\"k\">\n");
        type(markdown(), "second ");
        QVERIFY(QDir(folder).removeRecursively());

        RunCommand(CmdSave);
        const QByteArray text = "second first\n";
        checkFailedSave(QStringLiteral("a.md"), text);
        // Nothing was made up in its place.
        QVERIFY(!QFileInfo::exists(folder));

        checkRescue(t, QStringLiteral("a.md"), text);
        QCOMPARE(readFileBytes(t.docsDir() + QStringLiteral("a.head.txt")),
                 QByteArray("<meta name=\"k\">\n") + kHeadTemplate);
        QCOMPARE(document().path(), t.docsDir() + QStringLiteral("a.md"));
    }
};

QUILLDOWN_FAULT_TEST_MAIN(TestSaveFaults)
#include "tst_savefaults.moc"
