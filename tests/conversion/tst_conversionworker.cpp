// The conversion worker with real Pandoc: debounce, temporary names and folders, the
// argument list, failures, the time limit and shutdown; the file helpers it provides.
#include "ConversionRig.h"

#include "core/AppState.h"
#include "conversion/ConversionWorker.h"
#include "conversion/ConverterRun.h"
#include "conversion/ConverterProcess.h"
#include "conversion/HtmlAdjust.h"
#include "files/DocumentFiles.h"
#include "settings/Paths.h"
#include "settings/Settings.h"
#include "settings/Stylesheets.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <csignal>
#include <sys/stat.h>
#include <thread>

namespace {

QString makeScript(const QString &path, const QByteArray &body)
{
    writeFileBytes(path, "#!/bin/sh\n" + body);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                    QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    return path;
}

QByteArray q(const QString &path)
{
    return '\'' + path.toUtf8() + '\'';
}

// A converter that notes each run (and its arguments and folder) in `dir`, waits while
// the file "hold" exists, then runs the real Pandoc. The probe passes straight through.
QString recordingConverter(const QString &dir, const QByteArray &beforePandoc = QByteArray())
{
    return makeScript(dir + QStringLiteral("convert"),
                      "[ \"$1\" = -v ] && exit 0\n"
                      "echo run >> " + q(dir + QStringLiteral("runs")) + "\n"
                      "printf '%s\\n' \"$@\" > " + q(dir + QStringLiteral("args")) + "\n"
                      "pwd > " + q(dir + QStringLiteral("pwd")) + "\n"
                      "if [ -f " + q(dir + QStringLiteral("hold")) + " ]; then\n"
                      "  touch " + q(dir + QStringLiteral("held")) + "\n"
                      "  while [ -f " + q(dir + QStringLiteral("hold")) + " ]; do sleep 0.02; done\n"
                      "fi\n" + beforePandoc +
                      "exec /usr/bin/pandoc \"$@\"\n");
}

int runCount(const QString &dir)
{
    return readFileBytes(dir + QStringLiteral("runs")).count('\n');
}

// What an edit does to the shared values.
void markChanged()
{
    app().lastChangeTime = static_cast<std::int32_t>(platform().milliseconds());
    app().changePending = 1;
}

bool idle()
{
    return app().converterState.load() == ConverterIdle && !app().changePending.load();
}

bool processGone(const QString &pidFile)
{
    const int pid = readFileBytes(pidFile).trimmed().toInt();
    return pid > 0 && ::kill(pid, 0) != 0;
}

} // namespace

class TestConversionWorker : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { SetConverterTimeLimit(60000); }

    void pagesAlternateWithExactArgumentsAndStylesheetCopies()
    {
        ConversionRig t;
        Settings settings;
        settings.PandocExe = recordingConverter(t.root());
        QVERIFY(t.start(settings));
        const QString folder = PreviewFolder();
        QVERIFY(folder.startsWith(WithTrailingSlash(QDir::tempPath())));
        QVERIFY(folder != WithTrailingSlash(QDir::tempPath()));
        QTRY_COMPARE_WITH_TIMEOUT(app().lastPreviewFile.get(), folder + QStringLiteral("_temp0.htm"), 20000);

        const QStringList expected{QStringLiteral("--from"), QStringLiteral("markdown_mmd"), QStringLiteral("--to"),
                                   QStringLiteral("html"), QStringLiteral("-s"), QStringLiteral("-o"),
                                   folder + QStringLiteral("_temp0.htm"), QStringLiteral("--css"),
                                   QStringLiteral("file://") + folder + QStringLiteral("_tempair.css"),
                                   QStringLiteral("-H"), folder + QStringLiteral("_temp0.head.txt"),
                                   QStringLiteral("--metadata"), QStringLiteral("pagetitle=PageTitle"),
                                   folder + QStringLiteral("_temp0.md")};
        QCOMPARE(withPageNames(
                     QString::fromUtf8(readFileBytes(t.root() + QStringLiteral("args"))).split(u'\n', Qt::SkipEmptyParts)),
                 expected);
        QCOMPARE(readFileBytes(t.root() + QStringLiteral("pwd")).trimmed(), folder.chopped(1).toUtf8());
        QCOMPARE(readFileBytes(folder + QStringLiteral("_temp0.md")), QByteArray());
        // The head fragment follows the preview's script policy.
        const QByteArray headCopy = readFileBytes(folder + QStringLiteral("_temp0.head.txt"));
        QVERIFY(headCopy.startsWith("<meta http-equiv=\"Content-Security-Policy\""));
        QVERIFY(headCopy.endsWith(">\n<!--<title>PageTitle</title>-->\n"));
        QCOMPARE(readFileBytes(folder + QStringLiteral("_tempair.css")),
                 readFileBytes(DefaultStylesheetPath(app().location)));
        QVERIFY(readFileBytes(folder + QStringLiteral("_temp0.htm")).contains("<title>PageTitle</title>"));

        // The library's stylesheet changes later: the copy already made stays as it was.
        const QByteArray firstCopy = readFileBytes(folder + QStringLiteral("_tempair.css"));
        writeFileBytes(DefaultStylesheetPath(app().location), "body { color: red; }\n");
        t.markdown = "# Hello \xC3\xA9\n";
        t.head = "<title>My notes</title>\n";
        RequestConversion();
        QTRY_COMPARE_WITH_TIMEOUT(app().lastPreviewFile.get(), folder + QStringLiteral("_temp1.htm"), 20000);
        const QByteArray page = readFileBytes(folder + QStringLiteral("_temp1.htm"));
        QVERIFY(page.contains("Hello \xC3\xA9"));
        QVERIFY(page.contains("<title>My notes</title>"));
        QCOMPARE(readFileBytes(folder + QStringLiteral("_tempair.css")), firstCopy);

        // Another stylesheet gets its own copy on the next run.
        const QString dark = StylesheetFolder(app().location) + QStringLiteral("dark.css");
        writeFileBytes(dark, "body { background: black; }\n");
        app().currentStylesheet.set(dark);
        RequestConversion();
        QTRY_COMPARE_WITH_TIMEOUT(app().lastPreviewFile.get(), folder + QStringLiteral("_temp0.htm"), 20000);
        QVERIFY(readFileBytes(folder + QStringLiteral("_temp0.htm")).contains("_tempdark.css"));
        QCOMPARE(readFileBytes(folder + QStringLiteral("_tempdark.css")), readFileBytes(dark));
        QCOMPARE(runCount(t.root()), 3);

        // Asked for the browser: the next published page is handed to it, once.
        app().openInBrowser = 1;
        RequestConversion();
        QTRY_COMPARE_WITH_TIMEOUT(t.platform.openedUrls().size(), 1, 20000);
        QCOMPARE(t.platform.openedUrls().first(), QUrl::fromLocalFile(folder + QStringLiteral("_temp1.htm")));
        QCOMPARE(app().lastPreviewFile.get(), folder + QStringLiteral("_temp1.htm"));
        QCOMPARE(app().openInBrowser.load(), 0);
        // Each published page was handed to the main thread, each run reported its end.
        QTRY_COMPARE_WITH_TIMEOUT(t.pagesReady, 4, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(t.progress.size(), 8, 20000);
        QCOMPARE(t.progress.last(), false);

        QCOMPARE(t.stop(), 0);
        QVERIFY(!QFileInfo::exists(folder));
    }

    void debounceWaitsForQuietTime()
    {
        ConversionRig t;
        Settings settings;
        settings.PandocExe = recordingConverter(t.root());
        settings.UpdateMilliseconds = 750;
        QVERIFY(t.start(settings));
        QTRY_VERIFY_WITH_TIMEOUT(!app().lastPreviewFile.get().isEmpty() && idle(), 20000);
        QCOMPARE(runCount(t.root()), 1);

        // Changes every 100 ms for 1.5 s: nothing converts meanwhile.
        QElapsedTimer clock;
        clock.start();
        qint64 last = 0, longestGap = 0;
        bool convertedMeanwhile = false;
        while (clock.elapsed() < 1500) {
            markChanged();
            const qint64 now = clock.elapsed();
            longestGap = std::max(longestGap, now - last);
            last = now;
            QTest::qWait(100);
            convertedMeanwhile = convertedMeanwhile || runCount(t.root()) != 1 ||
                                 app().converterState.load() == ConverterConverting;
        }
        markChanged();
        const qint64 lastChange = clock.elapsed();
        if (longestGap < 700)
            QVERIFY(!convertedMeanwhile);
        QTRY_COMPARE_WITH_TIMEOUT(runCount(t.root()), 2, 20000);
        QVERIFY(clock.elapsed() - lastChange >= 750);
        QTRY_VERIFY_WITH_TIMEOUT(idle(), 20000);
        QCOMPARE(runCount(t.root()), 2);

        // While a document is being replaced, requests are dropped.
        app().changeSuppression = 1;
        app().lastChangeTime = -10000;
        app().changePending = 1;
        QTRY_COMPARE_WITH_TIMEOUT(app().changePending.load(), 0, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(app().converterState.load(), int(ConverterIdle), 20000);
        QCOMPARE(runCount(t.root()), 2);
    }

    void saveWaitsForARunningPreviewConversion()
    {
        ConversionRig t;
        Settings settings;
        settings.PandocExe = recordingConverter(t.root());
        QVERIFY(t.start(settings));
        QTRY_VERIFY_WITH_TIMEOUT(!app().lastPreviewFile.get().isEmpty() && idle(), 20000);
        const QString document = t.docsDir() + QStringLiteral("note.md");
        writeFileBytes(document, "# saved\n");
        app().documentPath.set(document);

        writeFileBytes(t.root() + QStringLiteral("hold"), "");
        RequestConversion();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(t.root() + QStringLiteral("held")), 20000);
        // The main thread is blocked in the export; another thread lets the preview go.
        QElapsedTimer clock;
        clock.start();
        std::thread release([&t] {
            std::this_thread::sleep_for(std::chrono::milliseconds(700));
            QFile::remove(t.root() + QStringLiteral("hold"));
        });
        const bool exported = t.exportHtml();
        const qint64 waited = clock.elapsed();
        release.join();
        QVERIFY(exported);
        QVERIFY(waited >= 700);
        QVERIFY(readFileBytes(t.docsDir() + QStringLiteral("note.htm")).contains("saved</h1>"));
        QTRY_COMPARE_WITH_TIMEOUT(app().lastPreviewFile.get(), PreviewFolder() + QStringLiteral("_temp1.htm"), 20000);
    }

    void changeDuringConversionIsNotPublishedAndConvertsOnceMore()
    {
        ConversionRig t;
        Settings settings;
        settings.PandocExe = recordingConverter(t.root());
        settings.UpdateMilliseconds = 3000;
        QVERIFY(t.start(settings));
        const QString folder = PreviewFolder();
        QTRY_VERIFY_WITH_TIMEOUT(!app().lastPreviewFile.get().isEmpty() && idle(), 20000);

        writeFileBytes(t.root() + QStringLiteral("hold"), "");
        t.markdown = "first\n";
        RequestConversion();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(t.root() + QStringLiteral("held")), 20000);
        t.markdown = "second\n";
        markChanged();
        QFile::remove(t.root() + QStringLiteral("hold"));

        // The overtaken run ends without publishing its page.
        QTRY_VERIFY_WITH_TIMEOUT(app().converterState.load() == ConverterIdle && runCount(t.root()) == 2, 20000);
        QCOMPARE(app().lastPreviewFile.get(), folder + QStringLiteral("_temp0.htm"));
        QCOMPARE(app().changePending.load(), 1);
        // One more run after the quiet time, under the same names, then nothing.
        QTRY_COMPARE_WITH_TIMEOUT(app().lastPreviewFile.get(), folder + QStringLiteral("_temp1.htm"), 20000);
        QVERIFY(readFileBytes(folder + QStringLiteral("_temp1.htm")).contains("second"));
        QTRY_VERIFY_WITH_TIMEOUT(idle(), 20000);
        QCOMPARE(runCount(t.root()), 3);
    }

    void imagesConvertBesideSavedDocumentAndEverythingIsRemovedAtExit()
    {
        ConversionRig t;
        Settings settings;
        settings.PandocExe = QStringLiteral("/usr/bin/pandoc");
        QVERIFY(t.start(settings));
        const QString folder = PreviewFolder();
        const QString docs = t.docsDir();
        const QString other = t.root() + QStringLiteral("other/");
        QDir().mkpath(other);
        writeFileBytes(other + QStringLiteral("_tempair.css"), "/* mine */\n");
        QTRY_VERIFY_WITH_TIMEOUT(!app().lastPreviewFile.get().isEmpty() && idle(), 20000);

        // Unsaved: the temporary folder even with an image.
        t.markdown = "![pic](pic.png)\n";
        RequestConversion();
        QTRY_COMPARE_WITH_TIMEOUT(app().lastPreviewFile.get(), folder + QStringLiteral("_temp1.htm"), 20000);

        // Saved: beside the document, so relative image paths resolve.
        writeFileBytes(docs + QStringLiteral("note.md"), "![pic](pic.png)\n");
        app().documentPath.set(docs + QStringLiteral("note.md"));
        RequestConversion();
        QTRY_COMPARE_WITH_TIMEOUT(app().lastPreviewFile.get(), docs + QStringLiteral("_temp0.htm"), 20000);
        QVERIFY(readFileBytes(docs + QStringLiteral("_temp0.htm")).contains("pic.png"));
        QVERIFY(QFile::exists(docs + QStringLiteral("_tempair.css")));
        QVERIFY(QFile::exists(docs + QStringLiteral("_temp0.head.txt")));

        // Saved but without an image: the temporary folder again.
        t.markdown = "plain\n";
        RequestConversion();
        QTRY_COMPARE_WITH_TIMEOUT(app().lastPreviewFile.get(), folder + QStringLiteral("_temp1.htm"), 20000);

        // A stylesheet copy that was already there is used as it is and kept.
        t.markdown = "![x](y.png)\n";
        app().documentPath.set(other + QStringLiteral("b.md"));
        RequestConversion();
        QTRY_COMPARE_WITH_TIMEOUT(app().lastPreviewFile.get(), other + QStringLiteral("_temp0.htm"), 20000);

        QCOMPARE(t.stop(), 0);
        QVERIFY(!QFileInfo::exists(folder));
        QCOMPARE(QDir(docs).entryList(QDir::Files), QStringList({QStringLiteral("note.md")}));
        QCOMPARE(QDir(other).entryList(QDir::Files), QStringList({QStringLiteral("_tempair.css")}));
        QCOMPARE(readFileBytes(other + QStringLiteral("_tempair.css")), QByteArray("/* mine */\n"));
    }

    void failedConversionsShowTheReasonInsteadOfAPage()
    {
        {
            // Pandoc refuses an unknown input format.
            ConversionRig t;
            Settings settings;
            settings.PandocExe = QStringLiteral("/usr/bin/pandoc");
            settings.MarkdownVersion = QStringLiteral("no_such_format");
            QVERIFY(t.start(settings));
            QTRY_VERIFY_WITH_TIMEOUT(!app().lastPreviewFile.get().isEmpty(), 20000);
            const QByteArray page = readFileBytes(app().lastPreviewFile.get());
            QVERIFY(page.contains("Conversion failed"));
            QVERIFY2(page.contains("exit status") && page.contains("no_such_format"), page.constData());
        }
        {
            // Status 0 but no page written.
            ConversionRig t;
            Settings settings;
            settings.PandocExe = makeScript(t.root() + QStringLiteral("silent"), "exit 0\n");
            QVERIFY(t.start(settings));
            QTRY_VERIFY_WITH_TIMEOUT(!app().lastPreviewFile.get().isEmpty(), 20000);
            QVERIFY(readFileBytes(app().lastPreviewFile.get()).contains("Pandoc wrote no page."));
        }
        {
            // A page written, but the run failed: its error output is shown, markup escaped.
            ConversionRig t;
            Settings settings;
            settings.PandocExe = makeScript(t.root() + QStringLiteral("broken"),
                                            "[ \"$1\" = -v ] && exit 0\n"
                                            "while [ \"$1\" != -o ]; do shift; done\n"
                                            "echo '<p>half</p>' > \"$2\"\n"
                                            "echo '<b>out of memory</b>' >&2\nexit 2\n");
            QVERIFY(t.start(settings));
            QTRY_VERIFY_WITH_TIMEOUT(!app().lastPreviewFile.get().isEmpty(), 20000);
            const QByteArray page = readFileBytes(app().lastPreviewFile.get());
            QVERIFY(page.contains("exit status 2"));
            QVERIFY(page.contains("&lt;b&gt;out of memory&lt;/b&gt;"));
            QVERIFY(!page.contains("<p>half</p>"));
        }
    }

    void hangingConverterIsKilledAtTheLimit()
    {
        ConversionRig t;
        Settings settings;
        const QString pidFile = t.root() + QStringLiteral("pid");
        settings.PandocExe = makeScript(t.root() + QStringLiteral("hang"),
                                        "[ \"$1\" = -v ] && exit 0\necho $$ > " + q(pidFile) + "\nexec sleep 600\n");
        SetConverterTimeLimit(1500);
        QVERIFY(t.start(settings));
        QTRY_VERIFY_WITH_TIMEOUT(!app().lastPreviewFile.get().isEmpty(), 20000);
        QVERIFY(readFileBytes(app().lastPreviewFile.get()).contains("did not finish within 1.5 seconds"));
        QVERIFY(processGone(pidFile));
        QTRY_COMPARE_WITH_TIMEOUT(app().converterState.load(), int(ConverterIdle), 20000);
    }

    void shutdownStopsARunningConversion()
    {
        ConversionRig t;
        Settings settings;
        const QString pidFile = t.root() + QStringLiteral("pid");
        settings.PandocExe = makeScript(t.root() + QStringLiteral("slow"),
                                        "[ \"$1\" = -v ] && exit 0\necho $$ > " + q(pidFile) + "\nexec sleep 600\n");
        QVERIFY(t.start(settings));
        const QString folder = PreviewFolder();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(pidFile) && !readFileBytes(pidFile).isEmpty(), 20000);
        QCOMPARE(app().converterState.load(), int(ConverterConverting));
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(t.stop(), 0);
        // Far below both the converter's 600 s and the 60 s limit.
        QVERIFY(clock.elapsed() < 20000);
        QCOMPARE(app().workerCount.load(), 0);
        QVERIFY(processGone(pidFile));
        QVERIFY(!QFileInfo::exists(folder));
        QVERIFY(app().lastPreviewFile.get().isEmpty());
    }

    void quietTimeArithmetic()
    {
        QVERIFY(ChangeIsDue(1000, 200, 750));
        QVERIFY(!ChangeIsDue(950, 200, 750));     // exactly the quiet time is not enough
        QVERIFY(ChangeIsDue(951, 200, 750));
        QVERIFY(ChangeIsDue(5, -10000, 750));     // a request converts at once
        QVERIFY(ChangeIsDue(5, -10000, 60000));
        // Past 2^31 ms the stored time wraps; the debounce still holds.
        const std::int64_t late = (std::int64_t(1) << 31) + 100;
        QVERIFY(!ChangeIsDue(late + 500, static_cast<std::int32_t>(late), 750));
        QVERIFY(ChangeIsDue(late + 800, static_cast<std::int32_t>(late), 750));
        const std::int64_t later = (std::int64_t(1) << 32) + 100;
        QVERIFY(!ChangeIsDue(later + 10, static_cast<std::int32_t>(later - 5), 750));

        // A pending change is looked at again when it falls due, at the latest in 10 ms.
        QCOMPARE(PendingWaitMs(1000, 200, 750), 1);     // overdue
        QCOMPARE(PendingWaitMs(945, 200, 750), 6);      // due after 950
        QCOMPARE(PendingWaitMs(300, 200, 750), 10);
        QCOMPARE(PendingWaitMs(5, -10000, 750), 1);
        QCOMPARE(PendingWaitMs(later + 10, static_cast<std::int32_t>(later - 5), 50), 10);
        QCOMPARE(PendingWaitMs(later + 40, static_cast<std::int32_t>(later - 5), 50), 6);
    }

    void writeTextFileReplacesWholeFilesAndKeepsLinksAndPermissions()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + QStringLiteral("/a.md");
        const QByteArray bytes("caf\xC3\xA9\0tail\xFF\n", 11);
        QVERIFY(WriteTextFile(bytes, path));
        QCOMPARE(readFileBytes(path), bytes);

        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
        QVERIFY(WriteTextFile("short", path));
        QCOMPARE(readFileBytes(path), QByteArray("short"));
        struct stat info;
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, 0640u);

        const QString target = dir.path() + QStringLiteral("/target.md");
        const QString link = dir.path() + QStringLiteral("/link.md");
        writeFileBytes(target, "old");
        QVERIFY(QFile::link(target, link));
        QVERIFY(WriteTextFile("new", link));
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(readFileBytes(target), QByteArray("new"));

        QVERIFY(!WriteTextFile("x", dir.path() + QStringLiteral("/missing/a.md")));
        QVERIFY(!WriteTextFile("x", QString()));
        // Nothing is left behind beside the files.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 3);

        QCOMPARE(HtmlFileFor(QStringLiteral("/d/notes.md")), QStringLiteral("/d/notes.htm"));
        QCOMPARE(HeadFileFor(QStringLiteral("/d/notes.md")), QStringLiteral("/d/notes.head.txt"));
        QCOMPARE(HtmlFileFor(QStringLiteral("/d.x/notes")), QStringLiteral("/d.x/notes.htm"));
        QCOMPARE(ReplaceExtension(QStringLiteral("/d/a.tar.gz"), QString()), QStringLiteral("/d/a.tar"));
        QCOMPARE(HtmlFileFor(QString()), QString());
    }

    void converterArgumentsAreNeverReadAsOptions()
    {
        ConversionRig t;
        Settings settings;
        settings.PandocExe = QStringLiteral("/usr/bin/pandoc");
        QVERIFY(t.start(settings));
        QTRY_VERIFY_WITH_TIMEOUT(app().converterState.load() >= ConverterIdle, 20000);
        const QString saved = QDir::currentPath();
        QDir::setCurrent(t.docsDir());
        writeFileBytes(t.docsDir() + QStringLiteral("-v.md"), "# dash\n");
        writeFileBytes(t.docsDir() + QStringLiteral("-H.txt"), "<meta name=\"dash\" content=\"1\">\n");
        QString error;
        const bool ok = RunConverter(QStringLiteral("-v.md"), QStringLiteral("-o.htm"), QStringLiteral("-c.css"),
                                     QStringLiteral("-H.txt"), QStringLiteral("-t"), &error);
        QDir::setCurrent(saved);
        QVERIFY2(ok, qPrintable(error));
        const QByteArray page = readFileBytes(t.docsDir() + QStringLiteral("-o.htm"));
        QVERIFY(page.contains("dash</h1>"));
        QVERIFY(page.contains("<meta name=\"dash\""));
        QVERIFY(page.contains("href=\"-c.css\""));
        QVERIFY(page.contains("<title>-t</title>"));
        // A missing input is refused without running anything.
        QVERIFY(!RunConverter(t.docsDir() + QStringLiteral("none.md"), t.docsDir() + QStringLiteral("none.htm"),
                              QString(), QString(), QString()));
        QVERIFY(!QFile::exists(t.docsDir() + QStringLiteral("none.htm")));
    }
};

QUILLDOWN_TEST_MAIN(TestConversionWorker)
#include "tst_conversionworker.moc"
