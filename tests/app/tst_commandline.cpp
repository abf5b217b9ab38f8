// The command line: how its words are read, and the built program answering help, version
// and mistakes without a display (the window system is made unreachable, so any start
// of the window would fail).
#include "common/TestSupport.h"

#include "app/CommandLine.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <vector>

namespace {

CommandLine parse(std::vector<const char *> words)
{
    words.insert(words.begin(), "quilldown");
    return ParseCommandLine(int(words.size()), words.data());
}

struct Run {
    int exitCode = -1;
    bool crashed = false;
    QByteArray out, err;
};

// The program where no window can open: no display, no Wayland, and the X11 platform.
Run runProgram(const QStringList &arguments, const QString &folder = QString())
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    QProcess process;
    process.setProcessEnvironment(environment);
    if (!folder.isEmpty())
        process.setWorkingDirectory(folder);
    process.start(QStringLiteral(QUILLDOWN_BINARY), arguments);
    Run run;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.crashed = process.exitStatus() != QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

const QByteArray kUsageStart = "Usage: quilldown [FILE]\n";

} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT
private slots:
    void wordsAreReadInOrder()
    {
        QCOMPARE(parse({}).action, CommandLineAction::Start);
        QCOMPARE(parse({}).file, QString());
        QCOMPARE(parse({"notes.md", "other.md"}).file, QStringLiteral("notes.md"));
        for (const char *help : {"-h", "--help"})
            QCOMPARE(parse({"notes.md", help}).action, CommandLineAction::Help);
        for (const char *version : {"-v", "--version"})
            QCOMPARE(parse({version}).action, CommandLineAction::Version);
        // The first that decides wins, as a reader of the line would expect.
        QCOMPARE(parse({"--version", "--help"}).action, CommandLineAction::Version);
        const CommandLine unknown = parse({"-x", "--help"});
        QCOMPARE(unknown.action, CommandLineAction::Unknown);
        QCOMPARE(unknown.unknownOption, QStringLiteral("-x"));
        QCOMPARE(parse({"--helpme"}).unknownOption, QStringLiteral("--helpme"));
        QCOMPARE(parse({"-hv"}).unknownOption, QStringLiteral("-hv"));

        // After "--" every word is a file name; a lone "-" is one anyway.
        CommandLine ended = parse({"--", "-x.md", "--help"});
        QCOMPARE(ended.action, CommandLineAction::Start);
        QCOMPARE(ended.file, QStringLiteral("-x.md"));
        QCOMPARE(parse({"-"}).file, QStringLiteral("-"));
        QCOMPARE(parse({"-", "--help"}).action, CommandLineAction::Help);

        // Qt's own options stay Qt's, their values too, even one that starts with '-'.
        ended = parse({"-platform", "offscreen", "-style=fusion", "--reverse", "-session", "-1a2b", "doc.md"});
        QCOMPARE(ended.action, CommandLineAction::Start);
        QCOMPARE(ended.file, QStringLiteral("doc.md"));
        QCOMPARE(parse({"-platform"}).action, CommandLineAction::Start);
        QCOMPARE(parse({"-reverse=yes"}).action, CommandLineAction::Unknown);
        // A file name in the system's encoding comes back as the same bytes.
        QCOMPARE(QFile::encodeName(parse({"caf\xC3\xA9.md"}).file), QByteArray("caf\xC3\xA9.md"));
    }

    void programAnswersWithoutADisplay()
    {
        for (const QString &help : {QStringLiteral("-h"), QStringLiteral("--help")}) {
            const Run run = runProgram({help});
            QCOMPARE(run.exitCode, 0);
            QVERIFY2(run.out.startsWith(kUsageStart), run.out.constData());
            QVERIFY(run.out.contains("  -h, --help       show this help and exit\n"));
            QVERIFY(run.out.contains("  -v, --version    show the version and exit\n"));
            QCOMPARE(run.err, QByteArray());
        }
        for (const QString &version : {QStringLiteral("-v"), QStringLiteral("--version")}) {
            const Run run = runProgram({version});
            QCOMPARE(run.exitCode, 0);
            QVERIFY2(run.out.startsWith("Quilldown 1.7 (") && run.out.endsWith(")\n"), run.out.constData());
            QCOMPARE(run.err, QByteArray());
        }
        for (const QString &wrong : {QStringLiteral("-x"), QStringLiteral("--no-such-thing")}) {
            const Run run = runProgram({wrong, QStringLiteral("notes.md")});
            QVERIFY(!run.crashed);
            QCOMPARE(run.exitCode, 2);
            QCOMPARE(run.out, QByteArray());
            QCOMPARE(run.err, "quilldown: unknown option '" + wrong.toUtf8()
                                  + "'\nTry 'quilldown --help' for more information.\n");
        }

        // After "--" a name that starts with '-' is a document: the program goes on to
        // start its window, which here cannot open.
        QTemporaryDir folder;
        QVERIFY(writeFileBytes(folder.filePath(QStringLiteral("-x.md")), "# Dashed\n"));
        const Run run = runProgram({QStringLiteral("--"), QStringLiteral("-x.md")}, folder.path());
        QVERIFY(run.crashed || run.exitCode != 0);
        QVERIFY2(!run.err.contains("unknown option"), run.err.constData());
        QVERIFY2(run.err.contains("display"), run.err.constData());
    }
};

QUILLDOWN_TEST_MAIN(TestCommandLine)
#include "tst_commandline.moc"
