// A converter that is missing, cannot run, fails, writes nothing, hangs or crashes half
// way: the typed document is on disk byte for byte, no failed run passes for an export,
// the program keeps working and ends promptly.
#include "fault/FaultSupport.h"

#include "core/AppState.h"
#include "app/BackgroundExport.h"
#include "app/Commands.h"
#include "app/Document.h"
#include "app/MainWindow.h"
#include "conversion/ConverterProcess.h"
#include "editor/Editor.h"
#include "settings/Settings.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <csignal>

namespace {

QString status() { return mainWindow()->statusText(); }

QByteArray previewPage()
{
    const QString file = lastPage();
    return file.isEmpty() ? QByteArray() : readFileBytes(file);
}

bool processGone(const QString &pidFile)
{
    const int pid = readFileBytes(pidFile).trimmed().toInt();
    return pid > 0 && ::kill(pid, 0) != 0;
}

// Shutdown must end well within the limits a user would wait.
void checkPromptShutdown(TestApp &t)
{
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(t.shutdown(), 0);
    QVERIFY2(clock.elapsed() < 20000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!ActiveConversionHost());
}

} // namespace

class TestConverterFaults : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { SetConverterTimeLimit(60000); }

    void converterThatCannotStart_data()
    {
        QTest::addColumn<bool>("present");
        QTest::newRow("missing") << false;
        QTest::newRow("not executable") << true;
    }

    // Nothing to export with: the save writes the document and leaves the old page alone.
    void converterThatCannotStart()
    {
        QFETCH(bool, present);
        TestApp t;
        Settings settings;
        settings.PandocExe = t.root() + QStringLiteral("pandoc");
        if (present) {
            QVERIFY(writeFileBytes(settings.PandocExe, "#!/bin/sh\nexec /usr/bin/pandoc \"$@\"\n"));
            QVERIFY(QFile::setPermissions(settings.PandocExe, QFile::ReadOwner | QFile::WriteOwner));
        }
        QVERIFY(t.writeSettings(settings));
        const QString document = t.docsDir() + QStringLiteral("doc.md");
        QVERIFY(writeFileBytes(document, "# Old\n"));
        QVERIFY(writeFileBytes(t.docsDir() + QStringLiteral("doc.htm"), "<p>old page</p>\n"));
        QVERIFY(t.start({document}));
        QTRY_COMPARE_WITH_TIMEOUT(app().converterState.load(), int(ConverterFailed), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(t.platform.messageCount(), 1, 20000);
        QVERIFY(t.platform.lastMessage().text.startsWith(QStringLiteral("Pandoc could not be initialized!")));

        type(markdown(), "new ");
        RunCommand(CmdSave);
        WaitForExport(::document().exporter(), mainWindow());
        QCOMPARE(readFileBytes(document), QByteArray("new # Old\n"));
        QCOMPARE(status(), QStringLiteral("Saving 'doc.md'... saved, but the page was not exported: Pandoc is not available."));
        QCOMPARE(readFileBytes(t.docsDir() + QStringLiteral("doc.htm")), QByteArray("<p>old page</p>\n"));
        QVERIFY(!::document().isModified());
        QVERIFY(lastPage().isEmpty());
        QCOMPARE(t.platform.messageCount(), 1);
        checkPromptShutdown(t);
    }

    void converterThatFails_data()
    {
        QTest::addColumn<QByteArray>("failure");
        QTest::addColumn<QString>("reason");
        QTest::newRow("exit status") << QByteArray("echo 'pandoc: out of luck' >&2\nexit 1\n")
                                     << QStringLiteral("exit status 1");
        QTest::newRow("writes nothing") << QByteArray("exit 0\n") << QStringLiteral("wrote no page");
        QTest::newRow("crash half way")
            << QByteArray("while [ \"$1\" != -o ]; do shift; done\n"
                          "printf '<html><body><p>half' > \"$2\"\n"
                          "kill -SEGV $$\n")
            << QStringLiteral("ended abnormally");
        QTest::newRow("hangs") << QByteArray("echo $$ > pid\nexec sleep 600\n")
                               << QStringLiteral("did not finish within 1.5 seconds");
        QTest::newRow("hangs in a child") << QByteArray("sleep 600 &\necho $! > pid\nwait\n")
                                          << QStringLiteral("did not finish within 1.5 seconds");
    }

    // A good export first, then the converter turns bad: the document is saved, the
    // export is reported failed and the last good page stays whole.
    void converterThatFails()
    {
        QFETCH(QByteArray, failure);
        QFETCH(QString, reason);
        TestApp t;
        const QString good = t.root() + QStringLiteral("good");
        QVERIFY(writeFileBytes(good, ""));
        Settings settings;
        settings.UpdateMilliseconds = 100;
        settings.PandocExe = fault::makeScript(t.root() + QStringLiteral("convert"),
                                               "ulimit -c 0\ncd " + fault::shellQuoted(t.root()) + " || exit 9\n"
                                               "[ \"$1\" = -v ] && exit 0\n"
                                               "[ -f good ] && exec /usr/bin/pandoc \"$@\"\n" + failure);
        SetConverterTimeLimit(1500);
        QVERIFY(t.writeSettings(settings));
        QVERIFY(t.start());
        QTRY_VERIFY_WITH_TIMEOUT(app().converterState.load() >= ConverterIdle, 20000);

        const QString docs = t.docsDir();
        type(markdown(), "# First\n");
        t.platform.fileAnswers.enqueue(docs + QStringLiteral("doc.md"));
        RunCommand(CmdSave);
        WaitForExport(::document().exporter(), mainWindow());
        QCOMPARE(status(), QStringLiteral("Saving 'doc.md'... done."));
        const QByteArray page = readFileBytes(docs + QStringLiteral("doc.htm"));
        QVERIFY(page.contains("First</h1>"));

        QVERIFY(QFile::remove(good));
        type(markdown(), "Second line\n");
        RunCommand(CmdSave);
        WaitForExport(::document().exporter(), mainWindow());
        QCOMPARE(readFileBytes(docs + QStringLiteral("doc.md")), QByteArray("# First\nSecond line\n"));
        QCOMPARE(status(), QStringLiteral("Saving 'doc.md'... saved, but the page was not exported."));
        QCOMPARE(readFileBytes(docs + QStringLiteral("doc.htm")), page);
        QCOMPARE(QDir(docs).entryList(QDir::Files | QDir::Hidden, QDir::Name),
                 QStringList({QStringLiteral("air.css"), QStringLiteral("doc.htm"), QStringLiteral("doc.md")}));

        // The program goes on: the preview names the failure, typing still converts.
        QTRY_VERIFY_WITH_TIMEOUT(previewPage().contains(reason.toUtf8()), 20000);
        QVERIFY(!previewPage().contains("<p>half"));
        type(markdown(), "Third\n");
        QCOMPARE(EditorText(markdown()), QByteArray("# First\nSecond line\nThird\n"));
        QVERIFY(::document().isModified());
        checkPromptShutdown(t);
        if (QFileInfo::exists(t.root() + QStringLiteral("pid")))
            QTRY_VERIFY_WITH_TIMEOUT(processGone(t.root() + QStringLiteral("pid")), 20000);
        QCOMPARE(readFileBytes(docs + QStringLiteral("doc.md")), QByteArray("# First\nSecond line\n"));
    }

    // A new document whose first export crashes half way leaves no page at all.
    void firstExportCrashLeavesNoPage()
    {
        TestApp t;
        Settings settings;
        settings.PandocExe = fault::makeScript(t.root() + QStringLiteral("convert"),
                                               "ulimit -c 0\n[ \"$1\" = -v ] && exit 0\n"
                                               "while [ \"$1\" != -o ]; do shift; done\n"
                                               "printf '<html><body><p>half' > \"$2\"\n"
                                               "kill -SEGV $$\n");
        QVERIFY(t.writeSettings(settings));
        QVERIFY(t.start());
        QTRY_VERIFY_WITH_TIMEOUT(app().converterState.load() >= ConverterIdle, 20000);
        type(markdown(), "# Only\n");
        t.platform.fileAnswers.enqueue(t.docsDir() + QStringLiteral("only.md"));
        RunCommand(CmdSave);
        WaitForExport(::document().exporter(), mainWindow());
        QCOMPARE(readFileBytes(t.docsDir() + QStringLiteral("only.md")), QByteArray("# Only\n"));
        QCOMPARE(status(), QStringLiteral("Saving 'only.md'... saved, but the page was not exported."));
        QVERIFY(!QFileInfo::exists(t.docsDir() + QStringLiteral("only.htm")));
        checkPromptShutdown(t);
    }
};

QUILLDOWN_FAULT_TEST_MAIN(TestConverterFaults)
#include "tst_converterfaults.moc"
