// The conversion worker with real Pandoc, driven by requests: quiet time, overtaken runs,
// temporary names and folders, the argument list, failures, the time limit and shutdown;
// the file helpers it provides.
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
        const QString folder = t.previewFolder();
        QVERIFY(folder.startsWith(WithTrailingSlash(QDir::tempPath())));
        QVERIFY(folder != WithTrailingSlash(QDir::tempPath()));
        QTRY_COMPARE_WITH_TIMEOUT(t.lastPage, folder + QStringLiteral("_temp0.htm"), 20000);

        const QStringList expected{QStringLiteral("--from"), QStringLiteral("markdown_mmd"), QStringLiteral("--to"),
                                   QStringLiteral("html"), QStringLiteral("-s"), QStringLiteral("-o"),
                                   folder + QStringLiteral("_temp0.htm"), QStringLiteral("--css"),
                                   QStringLiteral("file://") + folder + QStringLiteral("_tempair.css"),
                                   QStringLiteral("-H"), folder + QStringLiteral("_temp0.head.txt"),
                                   QStringLiteral("--metadata"), QStringLiteral("pagetitle=PageTitle"),
                                   folder + QStringLiteral("_temp0.md")};
        QStringList actual = withPageNames(
            QString::fromUtf8(readFileBytes(t.root() + QStringLiteral("args"))).split(u'\n', Qt::SkipEmptyParts));
        // The preview's own page template, with this run's policy.
        const qsizetype at = actual.indexOf(QStringLiteral("--template"));
        QVERIFY(at > 0);
        QCOMPARE(actual.value(at + 1), folder + QStringLiteral("preview-template.html"));
        QCOMPARE(actual.value(at + 2), QStringLiteral("--variable"));
        QVERIFY(actual.value(at + 3).startsWith(QStringLiteral("quilldown-policy=script-src 'nonce-")));
        actual.remove(at, 4);
        QCOMPARE(actual, expected);
        QCOMPARE(readFileBytes(t.root() + QStringLiteral("pwd")).trimmed(), folder.chopped(1).toUtf8());
        QCOMPARE(readFileBytes(folder + QStringLiteral("_temp0.md")), QByteArray());
        // The head fragment goes in as written; the policy comes from the page template.
        QCOMPARE(readFileBytes(folder + QStringLiteral("_temp0.head.txt")), QByteArray("<!--<title>PageTitle</title>-->\n"));
        QCOMPARE(readFileBytes(folder + QStringLiteral("_tempair.css")),
                 readFileBytes(DefaultStylesheetPath(app().location)));
        QVERIFY(readFileBytes(folder + QStringLiteral("_temp0.htm")).contains("<title>PageTitle</title>"));

        // The library's stylesheet changes later: the copy already made stays as it was.
        const QByteArray firstCopy = readFileBytes(folder + QStringLiteral("_tempair.css"));
        writeFileBytes(DefaultStylesheetPath(app().location), "body { color: red; }\n");
        t.markdown = "# Hello \xC3\xA9\n";
        t.head = "<title>My notes</title>\n";
        t.request();
        QTRY_COMPARE_WITH_TIMEOUT(t.lastPage, folder + QStringLiteral("_temp1.htm"), 20000);
        const QByteArray page = readFileBytes(folder + QStringLiteral("_temp1.htm"));
        QVERIFY(page.contains("Hello \xC3\xA9"));
        QVERIFY(page.contains("<title>My notes</title>"));
        QCOMPARE(readFileBytes(folder + QStringLiteral("_tempair.css")), firstCopy);

        // Another stylesheet gets its own copy on the next run.
        const QString dark = StylesheetFolder(app().location) + QStringLiteral("dark.css");
        writeFileBytes(dark, "body { background: black; }\n");
        t.stylesheet = dark;
        t.request();
        QTRY_COMPARE_WITH_TIMEOUT(t.lastPage, folder + QStringLiteral("_temp0.htm"), 20000);
        QVERIFY(readFileBytes(folder + QStringLiteral("_temp0.htm")).contains("_tempdark.css"));
        QCOMPARE(readFileBytes(folder + QStringLiteral("_tempdark.css")), readFileBytes(dark));
        QCOMPARE(runCount(t.root()), 3);

        // Each request's page was reported with its id, each run reported its end.
        QTRY_COMPARE_WITH_TIMEOUT(t.progress.size(), 6, 20000);
        QCOMPARE(t.pageIds, (QList<quint64>{1, 2, 3}));
        QCOMPARE(t.progress, (QList<bool>{true, false, true, false, true, false}));

        QCOMPARE(t.stop(), 0);
        QVERIFY(!QFileInfo::exists(folder));
    }

    void debounceWaitsForQuietTime()
    {
        ConversionRig t;
        Settings settings;
        settings.PandocExe = recordingConverter(t.root());
        QVERIFY(t.start(settings));
        QTRY_VERIFY_WITH_TIMEOUT(t.idle(), 20000);
        QCOMPARE(runCount(t.root()), 1);

        // Changes every 100 ms for 1.5 s: nothing converts meanwhile.
        QElapsedTimer clock;
        clock.start();
        qint64 last = 0, longestGap = 0;
        bool convertedMeanwhile = false;
        while (clock.elapsed() < 1500) {
            t.request(750);
            const qint64 now = clock.elapsed();
            longestGap = std::max(longestGap, now - last);
            last = now;
            QTest::qWait(100);
            convertedMeanwhile = convertedMeanwhile || runCount(t.root()) != 1 || t.progress.size() != 2;
        }
        t.request(750);
        const qint64 lastChange = clock.elapsed();
        if (longestGap < 700)
            QVERIFY(!convertedMeanwhile);
        QTRY_COMPARE_WITH_TIMEOUT(runCount(t.root()), 2, 20000);
        QVERIFY(clock.elapsed() - lastChange >= 750);
        QTRY_VERIFY_WITH_TIMEOUT(t.idle(), 20000);
        QCOMPARE(runCount(t.root()), 2);
        // Only the last request of the burst was converted.
        QCOMPARE(t.pageIds.size(), 2);
    }

    void saveWaitsForARunningPreviewConversion()
    {
        ConversionRig t;
        Settings settings;
        settings.PandocExe = recordingConverter(t.root());
        QVERIFY(t.start(settings));
        QTRY_VERIFY_WITH_TIMEOUT(t.idle(), 20000);
        const QString document = t.docsDir() + QStringLiteral("note.md");
        writeFileBytes(document, "# saved\n");
        t.documentPath = (document);

        writeFileBytes(t.root() + QStringLiteral("hold"), "");
        t.request();
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
        QTRY_COMPARE_WITH_TIMEOUT(t.lastPage, t.previewFolder() + QStringLiteral("_temp1.htm"), 20000);
    }

    void changeDuringConversionIsNotPublishedAndConvertsOnceMore()
    {
        ConversionRig t;
        Settings settings;
        settings.PandocExe = recordingConverter(t.root());
        settings.UpdateMilliseconds = 3000;
        QVERIFY(t.start(settings));
        const QString folder = t.previewFolder();
        QTRY_VERIFY_WITH_TIMEOUT(t.idle(), 20000);

        writeFileBytes(t.root() + QStringLiteral("hold"), "");
        t.markdown = "first\n";
        t.request();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(t.root() + QStringLiteral("held")), 20000);
        t.markdown = "second\n";
        t.request(3000);
        QFile::remove(t.root() + QStringLiteral("hold"));

        // The overtaken run ends without publishing its page.
        QTRY_VERIFY_WITH_TIMEOUT(t.progress.size() == 4 && runCount(t.root()) == 2, 20000);
        QCOMPARE(t.lastPage, folder + QStringLiteral("_temp0.htm"));
        QCOMPARE(t.pageIds.size(), 1);
        // One more run after the quiet time, under the same names, then nothing.
        QTRY_COMPARE_WITH_TIMEOUT(t.lastPage, folder + QStringLiteral("_temp1.htm"), 20000);
        QVERIFY(readFileBytes(folder + QStringLiteral("_temp1.htm")).contains("second"));
        QTRY_VERIFY_WITH_TIMEOUT(t.idle(), 20000);
        QCOMPARE(runCount(t.root()), 3);

        // A page asked for the browser is never overtaken: it shows the text it was asked for.
        writeFileBytes(t.root() + QStringLiteral("hold"), "");
        t.markdown = "for the browser\n";
        const quint64 browser = t.request(0, true);
        QTRY_VERIFY_WITH_TIMEOUT(runCount(t.root()) == 4, 20000);
        t.markdown = "typed later\n";
        const quint64 later = t.request(0);
        QFile::remove(t.root() + QStringLiteral("hold"));
        QTRY_COMPARE_WITH_TIMEOUT(t.pageIds, (QList<quint64>{1, 3, browser, later}), 20000);
        QVERIFY(readFileBytes(folder + QStringLiteral("_temp0.htm")).contains("for the browser"));
        QVERIFY(readFileBytes(folder + QStringLiteral("_temp1.htm")).contains("typed later"));
    }

    void nothingIsWrittenBesideDocumentsAndEverythingIsRemovedAtExit()
    {
        ConversionRig t;
        Settings settings;
        settings.PandocExe = QStringLiteral("/usr/bin/pandoc");
        QVERIFY(t.start(settings));
        const QString folder = t.previewFolder();
        const QString docs = t.docsDir();
        const QString other = t.root() + QStringLiteral("other/");
        QDir().mkpath(other);
        writeFileBytes(other + QStringLiteral("_tempair.css"), "/* mine */\n");
        QTRY_VERIFY_WITH_TIMEOUT(t.idle(), 20000);

        // Unsaved: no base, so relative addresses lead nowhere.
        t.markdown = "![pic](pic.png)\n";
        t.request();
        QTRY_COMPARE_WITH_TIMEOUT(t.lastPage, folder + QStringLiteral("_temp1.htm"), 20000);
        QVERIFY(!readFileBytes(t.lastPage).contains("<base"));

        // Saved: still this instance's folder; the page's base is the document's folder,
        // written as an encoded address (a "#" or a quote in a folder name stays in it).
        const QString odd = t.root() + QStringLiteral("odd #\"'/");
        QVERIFY(QDir().mkpath(odd));
        t.documentPath = odd + QStringLiteral("note.md");
        t.request();
        QTRY_COMPARE_WITH_TIMEOUT(t.lastPage, folder + QStringLiteral("_temp0.htm"), 20000);
        QVERIFY(readFileBytes(t.lastPage).contains(
            "<base href=\"" + QUrl::fromLocalFile(odd).toEncoded(QUrl::FullyEncoded) + "\" />"));

        // Documents named like the scratch files, beside the user's own scratch-named files.
        writeFileBytes(docs + QStringLiteral("_temp0.md"), "mine\n");
        t.documentPath = docs + QStringLiteral("_temp0.md");
        t.request();
        QTRY_COMPARE_WITH_TIMEOUT(t.lastPage, folder + QStringLiteral("_temp1.htm"), 20000);
        t.documentPath = other + QStringLiteral("b.md");
        t.request();
        QTRY_COMPARE_WITH_TIMEOUT(t.lastPage, folder + QStringLiteral("_temp0.htm"), 20000);

        QCOMPARE(t.stop(), 0);
        QVERIFY(!QFileInfo::exists(folder));
        QCOMPARE(QDir(docs).entryList(QDir::Files), QStringList({QStringLiteral("_temp0.md")}));
        QCOMPARE(readFileBytes(docs + QStringLiteral("_temp0.md")), QByteArray("mine\n"));
        QCOMPARE(QDir(odd).entryList(QDir::Files), QStringList());
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
            QTRY_VERIFY_WITH_TIMEOUT(!t.lastPage.isEmpty(), 20000);
            const QByteArray page = readFileBytes(t.lastPage);
            QVERIFY(page.contains("Conversion failed"));
            QVERIFY2(page.contains("exit status") && page.contains("no_such_format"), page.constData());
        }
        {
            // Status 0 but no page written.
            ConversionRig t;
            Settings settings;
            settings.PandocExe = makeScript(t.root() + QStringLiteral("silent"), "exit 0\n");
            QVERIFY(t.start(settings));
            QTRY_VERIFY_WITH_TIMEOUT(!t.lastPage.isEmpty(), 20000);
            QVERIFY(readFileBytes(t.lastPage).contains("Pandoc wrote no page."));
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
            QTRY_VERIFY_WITH_TIMEOUT(!t.lastPage.isEmpty(), 20000);
            const QByteArray page = readFileBytes(t.lastPage);
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
        QTRY_VERIFY_WITH_TIMEOUT(!t.lastPage.isEmpty(), 20000);
        QVERIFY(readFileBytes(t.lastPage).contains("did not finish within 1.5 seconds"));
        QVERIFY(processGone(pidFile));
        QTRY_VERIFY_WITH_TIMEOUT(t.idle(), 20000);
    }

    void shutdownStopsARunningConversion()
    {
        ConversionRig t;
        Settings settings;
        const QString pidFile = t.root() + QStringLiteral("pid");
        settings.PandocExe = makeScript(t.root() + QStringLiteral("slow"),
                                        "[ \"$1\" = -v ] && exit 0\necho $$ > " + q(pidFile) + "\nexec sleep 600\n");
        QVERIFY(t.start(settings));
        const QString folder = t.previewFolder();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(pidFile) && !readFileBytes(pidFile).isEmpty(), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(t.progress, QList<bool>{true}, 20000);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(t.stop(), 0);
        // Far below both the converter's 600 s and the 60 s limit.
        QVERIFY(clock.elapsed() < 20000);
        QVERIFY(processGone(pidFile));
        QVERIFY(!QFileInfo::exists(folder));
        QVERIFY(t.lastPage.isEmpty());
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
        const bool ok = RunConverter(QStringLiteral("markdown"), QStringLiteral("-v.md"), QStringLiteral("-o.htm"), QStringLiteral("-c.css"),
                                     QStringLiteral("-H.txt"), QStringLiteral("-t"), &error);
        QDir::setCurrent(saved);
        QVERIFY2(ok, qPrintable(error));
        const QByteArray page = readFileBytes(t.docsDir() + QStringLiteral("-o.htm"));
        QVERIFY(page.contains("dash</h1>"));
        QVERIFY(page.contains("<meta name=\"dash\""));
        QVERIFY(page.contains("href=\"-c.css\""));
        QVERIFY(page.contains("<title>-t</title>"));
        // A missing input is refused without running anything.
        QVERIFY(!RunConverter(QStringLiteral("markdown"), t.docsDir() + QStringLiteral("none.md"), t.docsDir() + QStringLiteral("none.htm"),
                              QString(), QString(), QString()));
        QVERIFY(!QFile::exists(t.docsDir() + QStringLiteral("none.htm")));
    }
};

QUILLDOWN_TEST_MAIN(TestConversionWorker)
#include "tst_conversionworker.moc"
