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
    return copy;
}

} // namespace

class TestRecoveryStore : public QObject {
    Q_OBJECT
private slots:
    void formatKeepsEveryByte()
    {
        for (const RecoveryCopy &original : {sample(), RecoveryCopy{{}, {}, {}, sample().savedAt, 1, {}}}) {
            RecoveryCopy back;
            QString reason;
            QCOMPARE(ParseRecoveryCopy(FormatRecoveryCopy(original), &back, &reason), RecoveryRead::Ok);
            QCOMPARE(back.markdown, original.markdown);
            QCOMPARE(back.head, original.head);
            QCOMPARE(back.documentPath, original.documentPath);
            QCOMPARE(back.savedAt, original.savedAt);
            QCOMPARE(back.pid, original.pid);
            QCOMPARE(back.processIdentity, original.processIdentity);
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
    }
};

QUILLDOWN_TEST_MAIN(TestRecoveryStore)
#include "tst_recoverystore.moc"
