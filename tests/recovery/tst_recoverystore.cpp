// The recovery store as plain functions: the file format, the atomic write, listing,
// the running-process check and the writer thread.
#include "common/TestSupport.h"

#include "recovery/RecoveryStore.h"
#include "recovery/RecoveryWriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <atomic>
#include <sys/stat.h>
#include <sys/wait.h>

namespace {

RecoveryCopy sample()
{
    RecoveryCopy copy;
    for (int i = 0; i < 256; ++i)
        copy.markdown += char(i);
    copy.markdown += "\r\nblake2b 00\nhead 3\n\xC3\xA9";
    copy.head = "<!--<title>PageTitle</title>-->\n";
    copy.documentPath = QStringLiteral("/tmp/odd\nname é/notes.md");
    copy.savedAt = QDateTime(QDate(2026, 12, 8), QTime(9, 30, 15, 250), Qt::UTC);
    copy.pid = 4242;
    copy.processIdentity = "boot-id:12345";
    copy.host = "machine-id:\n0123";
    return copy;
}

bool setModified(const QString &path, const QDateTime &time)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.setFileTime(time, QFileDevice::FileModificationTime);
}

const QByteArray kTemplate = "<!--<title>PageTitle</title>-->\n";

} // namespace

class TestRecoveryStore : public QObject {
    Q_OBJECT
private slots:
    void formatKeepsEveryByte()
    {
        RecoveryCopy older;
        older.savedAt = sample().savedAt;
        older.pid = 1;
        // Without a host the bytes are those of a copy of an older version, which reads back.
        QVERIFY(!FormatRecoveryCopy(older).contains("\nhost "));
        for (const RecoveryCopy &original : {sample(), older}) {
            RecoveryCopy back;
            QString reason;
            QCOMPARE(ParseRecoveryCopy(FormatRecoveryCopy(original), &back, &reason), RecoveryRead::Ok);
            QCOMPARE(back.markdown, original.markdown);
            QCOMPARE(back.head, original.head);
            QCOMPARE(back.documentPath, original.documentPath);
            QCOMPARE(back.savedAt, original.savedAt);
            QCOMPARE(back.pid, original.pid);
            QCOMPARE(back.processIdentity, original.processIdentity);
            QCOMPARE(back.host, original.host);
        }
    }

    void damagedCopiesAreRefused()
    {
        const QByteArray good = FormatRecoveryCopy(sample());
        QString reason;
        // Cut anywhere, the copy is refused and says why.
        for (qsizetype size = 0; size < good.size(); ++size) {
            reason.clear();
            QCOMPARE(ParseRecoveryCopy(good.left(size), nullptr, &reason), RecoveryRead::Damaged);
            QVERIFY2(!reason.isEmpty(), qPrintable(QString::number(size)));
        }
        QByteArray flipped = good;
        flipped[good.indexOf("markdown ") + 20] ^= 1;
        QCOMPARE(ParseRecoveryCopy(flipped, nullptr, &reason), RecoveryRead::Damaged);
        QCOMPARE(reason, QStringLiteral("its checksum does not match"));
        QCOMPARE(ParseRecoveryCopy(good + "x", nullptr, &reason), RecoveryRead::Damaged);
        QByteArray huge = good;
        huge.replace("head 32\n", "head 99999999999999999\n");
        QCOMPARE(ParseRecoveryCopy(huge, nullptr, &reason), RecoveryRead::Damaged);
        QByteArray negative = good;
        negative.replace("head 32\n", "head -5\n");
        QCOMPARE(ParseRecoveryCopy(negative, nullptr, &reason), RecoveryRead::Damaged);
        QRandomGenerator random(15);
        for (int i = 0; i < 200; ++i) {
            QByteArray noise(random.bounded(1, 4000), '\0');
            for (char &c : noise)
                c = char(random.bounded(256));
            QCOMPARE(ParseRecoveryCopy(noise, nullptr, &reason), RecoveryRead::Damaged);
            QCOMPARE(ParseRecoveryCopy(good.left(60) + noise, nullptr, &reason), RecoveryRead::Damaged);
        }
        QCOMPARE(reason.isEmpty(), false);
    }

    void filesAreWrittenWholeAndListedNewestFirst()
    {
        QTemporaryDir dir;
        const QString folder = dir.path() + QStringLiteral("/state/Quilldown/recovery/");
        const QString older = folder + QStringLiteral("1-a.recovery");
        const QString newer = folder + QStringLiteral("2-b.recovery");
        QVERIFY(WriteRecoveryFile(older, "old"));
        QVERIFY(WriteRecoveryFile(older, FormatRecoveryCopy(sample())));
        QVERIFY(WriteRecoveryFile(newer, FormatRecoveryCopy(sample())));
        // Private to the user: the copies hold whatever was typed.
        QCOMPARE(QFileInfo(folder).permissions() & (QFile::ReadOther | QFile::ReadGroup), QFile::Permissions());
        QCOMPARE(QFileInfo(older).permissions() & (QFile::ReadOther | QFile::ReadGroup), QFile::Permissions());
        RecoveryCopy back;
        QCOMPARE(ReadRecoveryFile(older, &back, nullptr), RecoveryRead::Ok);
        QCOMPARE(back.markdown, sample().markdown);

        QFile aged(older);
        QVERIFY(aged.open(QIODevice::ReadOnly));
        QVERIFY(aged.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
        QVERIFY(writeFileBytes(folder + QStringLiteral("3-c.recovery.damaged"), "x"));
        QVERIFY(writeFileBytes(folder + QStringLiteral(".4-d.recovery.Ab12Cd"), "x"));
        QVERIFY(QFile::link(older, folder + QStringLiteral("5-e.recovery")));
        QVERIFY(::mkfifo(QFile::encodeName(folder + QStringLiteral("6-f.recovery")).constData(), 0600) == 0);
        QStringList listed = ListRecoveryCopies(folder);
        listed.removeAll(folder + QStringLiteral("6-f.recovery"));
        QCOMPARE(listed, QStringList({newer, older}));
        // A pipe is not read (that would block), nor a file behind a link.
        QCOMPARE(ReadRecoveryFile(folder + QStringLiteral("6-f.recovery"), nullptr, nullptr), RecoveryRead::Missing);
        QCOMPARE(ReadRecoveryFile(folder + QStringLiteral("5-e.recovery"), nullptr, nullptr), RecoveryRead::Missing);
        QCOMPARE(ReadRecoveryFile(folder + QStringLiteral("none.recovery"), nullptr, nullptr), RecoveryRead::Missing);

        // Writes cut short by a kill are cleared after a day; the copies themselves stay,
        // old or not, and so does a write that may still be under way.
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const QString stale = folder + QStringLiteral(".7-g.recovery.Zz9Yx8");
        const QString fresh = folder + QStringLiteral(".8-h.recovery.Qq1Ww2");
        QVERIFY(writeFileBytes(stale, "half"));
        QVERIFY(writeFileBytes(fresh, "half"));
        QVERIFY(setModified(stale, now.addDays(-2)));
        QVERIFY(setModified(fresh, now.addSecs(-600)));
        QVERIFY(setModified(folder + QStringLiteral(".4-d.recovery.Ab12Cd"), now.addDays(-3)));
        QVERIFY(setModified(older, now.addDays(-5)));
        QCOMPARE(RemoveStaleTemporaryCopies(folder, now), 2);
        QVERIFY(!QFile::exists(stale));
        QVERIFY(QFile::exists(fresh));
        QVERIFY(QFile::exists(older));
        QVERIFY(QFile::exists(folder + QStringLiteral("3-c.recovery.damaged")));
        QCOMPARE(RemoveStaleTemporaryCopies(folder, now.addDays(2)), 1);
        QCOMPARE(RemoveStaleTemporaryCopies(QString(), now), 0);

        // A folder that cannot be made: nothing written, nothing left behind.
        QVERIFY(writeFileBytes(dir.path() + QStringLiteral("/blocked"), "file"));
        QVERIFY(!WriteRecoveryFile(dir.path() + QStringLiteral("/blocked/recovery/x.recovery"), "data"));
    }

    void folderFollowsTheEnvironment()
    {
        const QByteArray state = qgetenv("XDG_STATE_HOME"), home = qgetenv("HOME");
        qputenv("XDG_STATE_HOME", "/st//x/");
        QCOMPARE(RecoveryFolder(false, QStringLiteral("/opt/q/")), QStringLiteral("/st/x/Quilldown/recovery/"));
        QCOMPARE(RecoveryFolder(true, QStringLiteral("/opt/q/")), QStringLiteral("/opt/q/recovery/"));
        qputenv("XDG_STATE_HOME", "relative/state");
        qputenv("HOME", "/home/ann");
        QCOMPARE(RecoveryFolder(false, QString()), QStringLiteral("/home/ann/.local/state/Quilldown/recovery/"));
        qputenv("HOME", "");
        QCOMPARE(RecoveryFolder(false, QString()), QString());
        qputenv("XDG_STATE_HOME", state);
        qputenv("HOME", home);
    }

    void runningProcessesAreToldFromEndedOnes()
    {
        const qint64 self = QCoreApplication::applicationPid();
        const QByteArray identity = ProcessIdentity(self);
        QVERIFY(!identity.isEmpty());
        QVERIFY(ProcessIsRunning(self, identity));
        QVERIFY(ProcessIsRunning(self, QByteArray()));
        // The same id given to a later process is not the writer of the copy.
        QVERIFY(!ProcessIsRunning(self, identity + "0"));
        QVERIFY(!ProcessIsRunning(endedPid(), QByteArray()));
        QVERIFY(!ProcessIsRunning(0, QByteArray()));
        QVERIFY(!ProcessIsRunning(-1, QByteArray()));
        // Ended but not yet waited for.
        const pid_t zombie = ::fork();
        if (zombie == 0)
            ::_exit(0);
        QTRY_VERIFY_WITH_TIMEOUT(!ProcessIsRunning(zombie, QByteArray()), 30000);
        ::waitpid(zombie, nullptr, 0);
    }

    void owners()
    {
        // A copy made on another machine sharing this home is left to that machine, even
        // when no process of that id runs here; copies without a host are of this one.
        QVERIFY(!HostIdentity().isEmpty());
        QCOMPARE(HostIdentity(), HostIdentity());
        RecoveryCopy copy = sample();
        copy.pid = endedPid();
        copy.processIdentity.clear();
        copy.host = HostIdentity();
        QVERIFY(!CopyOwnerMayBeRunning(copy));
        copy.host.clear();
        QVERIFY(!CopyOwnerMayBeRunning(copy));
        copy.host = "machine-id:elsewhere";
        QVERIFY(CopyOwnerMayBeRunning(copy));
        copy.host = HostIdentity();
        copy.pid = QCoreApplication::applicationPid();
        copy.processIdentity = ProcessIdentity(copy.pid);
        QVERIFY(CopyOwnerMayBeRunning(copy));
    }

    void copiesAreComparedWithTheFiles()
    {
        QTemporaryDir dir;
        const QString doc = dir.filePath(QStringLiteral("notes.md"));
        const QString headFile = dir.filePath(QStringLiteral("notes.head.txt"));
        RecoveryCopy copy;
        copy.savedAt = QDateTime::currentDateTimeUtc();
        copy.head = kTemplate;

        // Untitled: only a new document's texts hold nothing.
        QVERIFY(CopyMatchesFiles(copy, kTemplate));
        copy.markdown = "x";
        QVERIFY(!CopyMatchesFiles(copy, kTemplate));
        copy.markdown.clear();
        copy.head = "<meta>";
        QVERIFY(!CopyMatchesFiles(copy, kTemplate));

        // A name without a file yet reads as an empty document with the template head.
        copy.documentPath = doc;
        copy.head = kTemplate;
        QVERIFY(CopyMatchesFiles(copy, kTemplate));
        copy.markdown = "typed";
        QVERIFY(!CopyMatchesFiles(copy, kTemplate));
        QVERIFY(writeFileBytes(doc, "typed"));
        QVERIFY(CopyMatchesFiles(copy, kTemplate));
        QVERIFY(writeFileBytes(doc, "tyPed"));   // same size, other bytes
        QVERIFY(!CopyMatchesFiles(copy, kTemplate));
        QVERIFY(writeFileBytes(doc, "typed\n"));
        QVERIFY(!CopyMatchesFiles(copy, kTemplate));
        QVERIFY(writeFileBytes(doc, "typed"));
        QVERIFY(writeFileBytes(headFile, "<style></style>"));
        QVERIFY(!CopyMatchesFiles(copy, kTemplate));
        copy.head = "<style></style>";
        QVERIFY(CopyMatchesFiles(copy, kTemplate));
        // What cannot be read may hold anything: the copy is kept.
        QVERIFY(QFile::remove(headFile));
        QVERIFY(QDir().mkdir(headFile));
        QVERIFY(!CopyMatchesFiles(copy, kTemplate));
        QVERIFY(QDir().rmdir(headFile));
        QVERIFY(QFile::remove(doc));
        QVERIFY(::mkfifo(QFile::encodeName(doc).constData(), 0600) == 0);
        copy.markdown.clear();
        copy.head = kTemplate;
        QVERIFY(!CopyMatchesFiles(copy, kTemplate));
        QVERIFY(QFile::remove(doc));

        // Changed on disk: a file or head file modified after the copy was taken.
        QVERIFY(writeFileBytes(doc, "saved"));
        QVERIFY(setModified(doc, copy.savedAt.addSecs(-60)));
        QVERIFY(!FilesChangedSince(copy));
        QVERIFY(writeFileBytes(headFile, "<meta>"));
        QVERIFY(setModified(headFile, copy.savedAt.addSecs(5)));
        QVERIFY(FilesChangedSince(copy));
        QVERIFY(QFile::remove(headFile));
        QVERIFY(setModified(doc, copy.savedAt.addSecs(5)));
        QVERIFY(FilesChangedSince(copy));
        copy.documentPath.clear();
        QVERIFY(!FilesChangedSince(copy));
    }

    void damagedCopiesMakeOneWarning()
    {
        const DamagedCopy cut{QStringLiteral("/s/1-a.recovery"), QStringLiteral("cut short"),
                              QStringLiteral("/s/1-a.recovery.damaged")};
        const DamagedCopy stuck{QStringLiteral("/s/2-b.recovery"), QStringLiteral("its checksum does not match"),
                                QStringLiteral("/s/2-b.recovery")};
        QCOMPARE(DamagedCopiesMessage({cut}),
                 QStringLiteral("The recovery copy '1-a.recovery' is damaged (cut short) and cannot be restored. "
                                "It is kept as '/s/1-a.recovery.damaged'."));
        QCOMPARE(DamagedCopiesMessage({cut, stuck}),
                 QStringLiteral("2 recovery copies are damaged and cannot be restored:\n"
                                "'1-a.recovery' (cut short), kept as '/s/1-a.recovery.damaged'\n"
                                "'2-b.recovery' (its checksum does not match), kept as '/s/2-b.recovery'"));
    }

    void writerCarriesOutTheNewestRequest()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + QStringLiteral("/r/copy.recovery");
        std::atomic<int> reports{0}, failures{0};
        {
            RecoveryWriter writer([&](bool ok) {
                ++reports;
                failures += ok ? 0 : 1;
            });
            RecoveryCopy copy = sample();
            for (int i = 0; i < 50; ++i) {
                copy.markdown = QByteArray::number(i);
                writer.write(path, copy);
                if (i == 25)
                    writer.remove(path);
            }
            QVERIFY(writer.flush(30000));
            RecoveryCopy back;
            QCOMPARE(ReadRecoveryFile(path, &back, nullptr), RecoveryRead::Ok);
            QCOMPARE(back.markdown, QByteArray("49"));
            writer.remove(path);
            QVERIFY(writer.flush(30000));
            QVERIFY(!QFile::exists(path));

            QVERIFY(writeFileBytes(dir.path() + QStringLiteral("/blocked"), "file"));
            writer.write(dir.path() + QStringLiteral("/blocked/x.recovery"), copy);
            QVERIFY(!writer.flush(30000));
            QCOMPARE(failures.load(), 1);
        }
        QVERIFY(reports.load() >= 2);

        // A copy whose text is the saved one replaces nothing: the file goes.
        const QString doc = dir.filePath(QStringLiteral("saved.md"));
        QVERIFY(writeFileBytes(doc, "saved"));
        RecoveryCopy copy = sample();
        copy.documentPath = doc;
        copy.markdown = "saved!";
        copy.head = kTemplate;
        RecoveryWriter writer({}, kTemplate);
        writer.write(path, copy);
        QVERIFY(writer.flush(30000));
        QVERIFY(QFile::exists(path));
        copy.markdown = "saved";
        writer.write(path, copy);
        QVERIFY(writer.flush(30000));
        QVERIFY(!QFile::exists(path));
    }
};

QUILLDOWN_TEST_MAIN(TestRecoveryStore)
#include "tst_recoverystore.moc"
