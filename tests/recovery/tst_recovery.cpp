// Recovery copies in the running program: the real program killed in a child process and
// its text offered at the next start, the answers to the question, copies of running or
// damaged programs, and a state folder that takes no files.
#include "common/TestSupport.h"
#include "fault/FaultSupport.h"

#include "core/AppState.h"
#include "app/BackgroundExport.h"
#include "app/Commands.h"
#include "app/Document.h"
#include "app/MainWindow.h"
#include "app/Recovery.h"
#include "app/Startup.h"
#include "conversion/ConversionWorker.h"
#include "editor/Editor.h"
#include "platform/TerminationSignal.h"
#include "recovery/RecoveryStore.h"
#include "settings/Paths.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <Qsci/qsciscintillabase.h>
#include <csignal>
#include <cstdio>
#include <cstring>

using Sci = QsciScintillaBase;

namespace {

// The program as main() runs it, in a child process: opens the document, types into both
// editors, reports what they hold and runs until a signal ends it.
int childMain(int argc, char **argv)
{
    if (argc < 4 || std::strcmp(argv[1], "--recovery-child") != 0)
        return -1;
    EngineEnvironment engine;
    QApplication application(argc, argv);
    engine.settle();
    SetBaseDirectoryOverride(QString::fromLocal8Bit(argv[2]));
    EndOnTerminationSignals(&application);
    if (!StartApplication({QStringLiteral("quilldown"), QString::fromLocal8Bit(argv[3])}))
        return Shutdown();
    Sci *markdown = mainWindow()->markdownEditor();
    markdown->SendScintilla(Sci::SCI_DOCUMENTEND);
    QTest::keyClicks(markdown, " typed words");
    QTest::sendKeyEvent(QTest::Press, markdown, Qt::Key_unknown, QStringLiteral("\u00e9"), Qt::NoModifier);
    QTest::sendKeyEvent(QTest::Release, markdown, Qt::Key_unknown, QStringLiteral("\u00e9"), Qt::NoModifier);
    QTest::keyClicks(mainWindow()->headEditor(), "<meta name=x>");
    std::printf("typed %s %s\n", EditorText(markdown).toBase64().constData(),
                EditorText(mainWindow()->headEditor()).toBase64().constData());
    std::fflush(stdout);
    if (!app().quit.load())
        QApplication::exec();
    return Shutdown();
}

struct Child {
    QProcess process;
    QByteArray markdown, head;

    bool start(TestApp &t, const QString &document)
    {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QCoreApplication::applicationFilePath(),
                      {QStringLiteral("--recovery-child"), t.binDir(), document});
        QByteArray out;
        while (!out.contains('\n') && process.waitForReadyRead(120000))
            out += process.readAllStandardOutput();
        const QList<QByteArray> words = out.trimmed().split(' ');
        if (words.size() != 3 || words.first() != "typed")
            return false;
        markdown = QByteArray::fromBase64(words.at(1));
        head = QByteArray::fromBase64(words.at(2));
        return true;
    }
    void end(int signal)
    {
        ::kill(pid_t(process.processId()), signal);
        process.waitForFinished(60000);
    }
};

QString folderOf(TestApp &t)
{
    return t.root() + QStringLiteral("state/Quilldown/recovery/");
}

bool copyHolds(const QString &path, const QByteArray &markdown, const QByteArray &head)
{
    RecoveryCopy copy;
    return ReadRecoveryFile(path, &copy, nullptr) == RecoveryRead::Ok && copy.markdown == markdown && copy.head == head;
}

bool onlyCopyHolds(const QString &folder, const QByteArray &markdown, const QByteArray &head)
{
    const QStringList copies = ListRecoveryCopies(folder);
    return copies.size() == 1 && copyHolds(copies.first(), markdown, head);
}

bool setModified(const QString &path, const QDateTime &time)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.setFileTime(time, QFileDevice::FileModificationTime);
}

RecoveryCopy copyOf(qint64 pid, const QByteArray &identity, const QString &document, const QByteArray &markdown,
                    int ageSeconds)
{
    RecoveryCopy copy;
    copy.markdown = markdown;
    copy.head = kHeadTemplate;
    copy.documentPath = document;
    copy.savedAt = QDateTime::currentDateTimeUtc().addSecs(-ageSeconds);
    copy.pid = pid;
    copy.processIdentity = identity;
    return copy;
}

// Written as the program writes it, the file's time that of the copy (they are listed by it).
bool plant(TestApp &t, const QString &name, const RecoveryCopy &copy)
{
    const QString path = folderOf(t) + name;
    return WriteRecoveryFile(path, FormatRecoveryCopy(copy)) && setModified(path, copy.savedAt);
}

bool plant(TestApp &t, const QString &name, qint64 pid, const QByteArray &identity, const QString &document,
           const QByteArray &markdown, int ageSeconds)
{
    return plant(t, name, copyOf(pid, identity, document, markdown, ageSeconds));
}

const QString kUnsavedNote = QStringLiteral("Could not keep a recovery copy of the unsaved text.");

} // namespace

class TestRecovery : public QObject {
    Q_OBJECT
private slots:
    void killedProgramsTextIsRestored()
    {
        TestApp t;
        const QString doc = t.docsDir() + QStringLiteral("notes.md");
        const QByteArray original = "# Notes\r\n\tTabbed \xC3\xBC line\r\n";
        QVERIFY(writeFileBytes(doc, original));
        const QString folder = folderOf(t);
        for (const int signal : {SIGKILL, SIGTERM}) {
            QDir(folder).removeRecursively();
            Child child;
            QVERIFY(child.start(t, doc));
            QVERIFY(child.markdown.endsWith(" typed words\xC3\xA9"));
            // A kill leaves only what was written a moment after typing stopped.
            if (signal == SIGKILL)
                QTRY_VERIFY_WITH_TIMEOUT(onlyCopyHolds(folder, child.markdown, child.head), 60000);
            child.end(signal);
            QCOMPARE(child.process.state(), QProcess::NotRunning);
            if (signal == SIGTERM)
                QCOMPARE(child.process.exitCode(), 0);
            QVERIFY(onlyCopyHolds(folder, child.markdown, child.head));
            const QString oldCopy = ListRecoveryCopies(folder).first();

            const int asked = t.platform.messageCount();
            t.platform.messageAnswers.enqueue(MessageAnswer::Yes);
            QVERIFY(t.start());
            QTRY_COMPARE_WITH_TIMEOUT(t.platform.messageCount(), asked + 1, 30000);
            const RecordedMessage question = t.platform.lastMessage();
            QVERIFY2(question.text.startsWith(QStringLiteral("Quilldown was closed without saving 'notes.md' (")),
                     qPrintable(question.text));
            QVERIFY(question.text.endsWith(QStringLiteral("). Restore the unsaved text?")));
            QCOMPARE(question.buttons, MessageButtons::YesNo);
            QCOMPARE(EditorText(markdown()), child.markdown);
            QCOMPARE(EditorText(head()), child.head);
            QCOMPARE(document().path(), doc);
            QVERIFY(document().isModified());
            QCOMPARE(readFileBytes(doc), original);
            // One undo shows the saved text beside the recovered one.
            send(markdown(), Sci::SCI_UNDO);
            QCOMPARE(EditorText(markdown()), original);
            send(markdown(), Sci::SCI_REDO);
            // The text now lives in this program's own copy; the old one is gone.
            QVERIFY(!QFile::exists(oldCopy));
            QCOMPARE(ListRecoveryCopies(folder), QStringList{RecoveryCopyPath()});
            QVERIFY(copyHolds(RecoveryCopyPath(), child.markdown, child.head));
            t.shutdown();
        }
    }

    void copyFollowsTheDocument()
    {
        TestApp t;
        const QString doc = t.docsDir() + QStringLiteral("a.md");
        QVERIFY(writeFileBytes(doc, "saved\n"));
        QVERIFY(t.start({doc}));
        const QString copy = RecoveryCopyPath();
        QVERIFY(copy.startsWith(folderOf(t)));
        QVERIFY(!QFile::exists(copy));

        type(markdown(), "more ");
        QTRY_VERIFY_WITH_TIMEOUT(copyHolds(copy, "more saved\n", kHeadTemplate), 30000);
        QCOMPARE(SaveDocument(document()), SaveResult::Completed);
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(copy), 30000);
        QCOMPARE(readFileBytes(doc), QByteArray("more saved\n"));

        // No to the question before discarding: the text is not wanted.
        type(head(), "<meta>");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(copy), 30000);
        t.platform.messageAnswers.enqueue(MessageAnswer::No);
        NewDocument(document(), false);
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(copy), 30000);

        // Exit after No, and an exit with nothing unsaved, leave no copy either.
        type(markdown(), "draft");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(copy), 30000);
        t.platform.messageAnswers.enqueue(MessageAnswer::No);
        RunCommand(CmdExit);
        t.shutdown();
        QVERIFY(ListRecoveryCopies(folderOf(t)).isEmpty());
        QVERIFY(t.start({doc}));
        t.shutdown();
        QVERIFY(ListRecoveryCopies(folderOf(t)).isEmpty());
    }

    void onlyCopiesOfEndedProgramsAreOffered()
    {
        TestApp t;
        QProcess running;
        running.start(QStringLiteral("sleep"), {QStringLiteral("600")});
        QVERIFY(running.waitForStarted());
        const qint64 pid = running.processId();
        const QString doc = t.docsDir() + QStringLiteral("b.md");
        QVERIFY(writeFileBytes(doc, "b\n"));
        QVERIFY(plant(t, QStringLiteral("running.recovery"), pid, ProcessIdentity(pid), doc, "running", 0));
        // The same id now belongs to another process: the writer has ended.
        QVERIFY(plant(t, QStringLiteral("reused.recovery"), pid, "other-boot:1", QString(), "reused", 60));
        QVERIFY(plant(t, QStringLiteral("ended.recovery"), endedPid(), QByteArray(), QString(), "ended", 30));
        const QString folder = folderOf(t);

        t.platform.messageAnswers << MessageAnswer::No << MessageAnswer::Cancel;
        QVERIFY(t.start());
        QTRY_COMPARE_WITH_TIMEOUT(t.platform.messageCount(), 2, 30000);
        QVERIFY(t.platform.messages.first().text.contains(QStringLiteral("saving an untitled document (")));
        QVERIFY(!QFile::exists(folder + QStringLiteral("ended.recovery")));
        QVERIFY(QFile::exists(folder + QStringLiteral("reused.recovery")));   // no answer: kept
        QVERIFY(QFile::exists(folder + QStringLiteral("running.recovery")));
        QVERIFY(!document().isModified());
        t.shutdown();

        // Several copies: the first restored here, a new window for the next.
        QVERIFY(plant(t, QStringLiteral("later.recovery"), endedPid(), QByteArray(), doc, "later", 10));
        t.platform.messageAnswers.enqueue(MessageAnswer::Yes);
        QVERIFY(t.start());
        QTRY_COMPARE_WITH_TIMEOUT(t.platform.messageCount(), 3, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(t.platform.started.size(), 1, 30000);
        QCOMPARE(t.platform.started.first(), QStringList{QCoreApplication::applicationFilePath()});
        QCOMPARE(EditorText(markdown()), QByteArray("later"));
        QCOMPARE(document().path(), doc);
        QVERIFY(QFile::exists(folder + QStringLiteral("reused.recovery")));
        QVERIFY(QFile::exists(folder + QStringLiteral("running.recovery")));
        running.kill();
        running.waitForFinished();
    }

    void onlyTextWorthRestoringIsOffered()
    {
        TestApp t;
        const QString folder = folderOf(t);
        const QString doc = t.docsDir() + QStringLiteral("a.md");
        QVERIFY(writeFileBytes(doc, "saved\n"));
        // Nothing but the saved text: removed unasked. Another machine's copy (a shared
        // home) is that machine's to offer. Damaged copies make one warning together, and
        // a write cut short a day ago goes.
        QVERIFY(plant(t, QStringLiteral("equal.recovery"), endedPid(), {}, doc, "saved\n", 10));
        RecoveryCopy foreign = copyOf(endedPid(), "other-boot:7", doc, "elsewhere", 20);
        foreign.host = "machine-id:another-machine";
        QVERIFY(plant(t, QStringLiteral("foreign.recovery"), foreign));
        const QByteArray good = FormatRecoveryCopy(copyOf(endedPid(), {}, QString(), "text", 0));
        QVERIFY(WriteRecoveryFile(folder + QStringLiteral("cut.recovery"), good.left(good.size() - 9)));
        QVERIFY(WriteRecoveryFile(folder + QStringLiteral("noise.recovery"), QByteArray("\x89\x01garbage\0\xff", 12)));
        const QString stale = folder + QStringLiteral(".1-a.recovery.Ab12Cd");
        QVERIFY(writeFileBytes(stale, "half a cop"));
        QVERIFY(setModified(stale, QDateTime::currentDateTimeUtc().addDays(-2)));

        QVERIFY(t.start({doc}));
        QTRY_COMPARE_WITH_TIMEOUT(t.platform.messageCount(), 1, 30000);
        const RecordedMessage warning = t.platform.lastMessage();
        QCOMPARE(warning.icon, MessageIcon::Warning);
        QVERIFY2(warning.text.startsWith(QStringLiteral("2 recovery copies are damaged and cannot be restored:")),
                 qPrintable(warning.text));
        QVERIFY(warning.text.contains(QStringLiteral("'cut.recovery' (cut short), kept as '") + folder
                                      + QStringLiteral("cut.recovery.damaged'")));
        QVERIFY(warning.text.contains(QStringLiteral("'noise.recovery' (")));
        QVERIFY(QFile::exists(folder + QStringLiteral("noise.recovery.damaged")));
        QCOMPARE(ListRecoveryCopies(folder), QStringList{folder + QStringLiteral("foreign.recovery")});
        QVERIFY(!QFile::exists(stale));
        QVERIFY(!document().isModified());

        // A character typed and deleted again: the editor says modified, the text is saved.
        const QString copy = RecoveryCopyPath();
        type(markdown(), "x");
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(copy), 30000);
        send(markdown(), Sci::SCI_DELETEBACK);
        QVERIFY(document().isModified());
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(copy), 30000);
        t.shutdown();
        QCOMPARE(ListRecoveryCopies(folder), QStringList{folder + QStringLiteral("foreign.recovery")});

        // A document begun under a new name comes back under that name, still unsaved.
        const QString fresh = t.docsDir() + QStringLiteral("fresh.md");
        QVERIFY(plant(t, QStringLiteral("fresh.recovery"), endedPid(), {}, fresh, "new text\n", 5));
        t.platform.messageAnswers.enqueue(MessageAnswer::Yes);
        QVERIFY(t.start());
        QTRY_COMPARE_WITH_TIMEOUT(t.platform.messageCount(), 2, 30000);
        QVERIFY(t.platform.lastMessage().text.endsWith(QStringLiteral("Restore the unsaved text?")));
        QCOMPARE(document().path(), fresh);
        QCOMPARE(EditorText(markdown()), QByteArray("new text\n"));
        QVERIFY(document().isModified());
        QVERIFY(!mainWindow()->statusText().contains(QStringLiteral("could not be opened")));
        QVERIFY(!QFile::exists(fresh));
        QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(folder + QStringLiteral("fresh.recovery")), 30000);
        QVERIFY(t.platform.started.isEmpty());
        DiscardRecoveryCopy();
        t.shutdown();
        QCOMPARE(ListRecoveryCopies(folder), QStringList{folder + QStringLiteral("foreign.recovery")});

        // The file changed after the copy was taken: the question says so.
        QVERIFY(plant(t, QStringLiteral("older.recovery"), endedPid(), {}, doc, "copy text\n", 120));
        QVERIFY(writeFileBytes(doc, "changed elsewhere\n"));
        t.platform.messageAnswers.enqueue(MessageAnswer::No);
        QVERIFY(t.start());
        QTRY_COMPARE_WITH_TIMEOUT(t.platform.messageCount(), 3, 30000);
        const QString asked = t.platform.lastMessage().text;
        QVERIFY2(asked.startsWith(QStringLiteral("Quilldown was closed without saving 'a.md' (")), qPrintable(asked));
        QVERIFY2(asked.endsWith(QStringLiteral("). Restore the unsaved text? "
                                               "The file has changed on disk since this copy was made.")),
                 qPrintable(asked));
        QVERIFY(!QFile::exists(folder + QStringLiteral("older.recovery")));
        t.shutdown();
        QCOMPARE(t.platform.messageCount(), 3);
    }

    void damagedCopiesInAFolderThatCannotChangeWarnOnce()
    {
        if (::geteuid() == 0 && !fault::privateMounts())
            QSKIP("Needs a private mount namespace to make the folder read-only for root.");
        TestApp t;
        const QString folder = folderOf(t);
        QVERIFY(WriteRecoveryFile(folder + QStringLiteral("one.recovery"), "Quilldown recovery copy 1\npid x\n"));
        QVERIFY(WriteRecoveryFile(folder + QStringLiteral("two.recovery"), "not a copy"));
        std::unique_ptr<fault::MountGuard> guard;
        if (::geteuid() == 0) {
            QVERIFY(fault::makeReadOnly(folder));
            guard = std::make_unique<fault::MountGuard>(folder);
        } else {
            QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        }
        for (int start = 1; start <= 2; ++start) {
            QVERIFY(t.start());
            QTRY_COMPARE_WITH_TIMEOUT(t.platform.messageCount(), start, 30000);
            const QString text = t.platform.lastMessage().text;
            QVERIFY2(text.contains(QStringLiteral("kept as '") + folder + QStringLiteral("one.recovery'")), qPrintable(text));
            QVERIFY(text.contains(QStringLiteral("kept as '") + folder + QStringLiteral("two.recovery'")));
            t.shutdown();
            QCOMPARE(t.platform.messageCount(), start);
        }
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void unwritableStateFolderDisturbsNothing()
    {
        for (const bool mounted : {false, true}) {
            if (mounted && !fault::privateMounts())
                QSKIP("Needs root and a private mount namespace to make writes fail for root too.");
            TestApp t;
            std::unique_ptr<fault::MountGuard> guard;
            if (mounted) {
                QVERIFY(QDir().mkpath(folderOf(t)));
                QVERIFY(fault::makeReadOnly(t.root() + QStringLiteral("state")));
                guard = std::make_unique<fault::MountGuard>(t.root() + QStringLiteral("state"));
            } else {
                QVERIFY(writeFileBytes(t.root() + QStringLiteral("state"), "a file, not a folder"));
            }
            const QString doc = t.docsDir() + QStringLiteral("c.md");
            QVERIFY(writeFileBytes(doc, "c\n"));
            QVERIFY(t.start({doc}));
            type(markdown(), "typed ");
            QTRY_COMPARE_WITH_TIMEOUT(mainWindow()->statusText(), kUnsavedNote, 30000);
            QCOMPARE(t.platform.messageCount(), 0);
            QCOMPARE(SaveDocument(document()), SaveResult::Completed);
            QVERIFY(WaitForExport(document().exporter(), mainWindow()));
            QCOMPARE(readFileBytes(doc), QByteArray("typed c\n"));
            QVERIFY(mainWindow()->statusText().endsWith(QStringLiteral("done.")));
            QVERIFY(!document().isModified());
            t.shutdown();
            QCOMPARE(t.platform.messageCount(), 0);
        }
    }
};

QUILLDOWN_TEST_MAIN_WITH(TestRecovery, if (const int code = childMain(argc, argv); code >= 0) return code;
                         fault::enterPrivateMountNamespace())
#include "tst_recovery.moc"
