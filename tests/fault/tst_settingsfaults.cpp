// Damaged and outsized settings files: the program starts, keeps what it can read, uses
// the defaults for the rest, and writes a clean file at the end.
#include "fault/FaultSupport.h"
#include "common/Permissions.h"

#include "core/AppState.h"
#include "app/Commands.h"
#include "app/Document.h"
#include "app/MainWindow.h"
#include "app/SettingsHost.h"
#include "editor/Editor.h"
#include "settings/Settings.h"
#include "preview/PreviewPane.h"

#include <QElapsedTimer>
#include <QMenu>
#include <QMenuBar>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QRandomGenerator>
#include <QScopeGuard>

namespace {

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator rng(seed);
    for (char &c : bytes)
        c = char(rng.bounded(256));
    return bytes;
}

// Every value but the window position, which the window system chooses once shown.
QStringList fields(const Settings &s)
{
    return {QString::number(s.WinMax), QString::number(s.WinW),
            QString::number(s.WinH), s.FontName, QString::number(s.FontSize), QString::number(s.WordWrap),
            QString::number(s.SyncScroll), s.LastPath, QString::number(s.UpdateMilliseconds), s.MarkdownVersion,
            s.PandocExe};
}

const char *const kKeys[] = {"WinCen", "WinMax", "WinX", "WinY", "WinW", "WinH", "FontName", "FontSize",
                             "WordWrap", "SyncScroll", "LastPath", "UpdateMilliseconds", "MarkdownVersion",
                             "PandocExe"};

// The written file has the program's own layout: byte-order mark, blank line, two
// comments, then every key once, in order, one per CRLF-ended line.
void checkLayout(const QByteArray &file)
{
    QVERIFY(file.startsWith("\xEF\xBB\xBF\r\n; Quilldown 1.7\r\n; "));
    QVERIFY(file.endsWith("\r\n"));
    const QList<QByteArray> lines = file.mid(3).chopped(2).split('\n');
    QCOMPARE(lines.size(), 18);
    QStringList keys;
    for (const QByteArray &line : lines) {
        QVERIFY(line.endsWith('\r') || &line == &lines.last());
        QVERIFY2(!line.chopped(line.endsWith('\r') ? 1 : 0).contains('\r'), line.left(80).constData());
        if (!line.isEmpty() && !line.startsWith(';') && line != "\r")
            keys << QString::fromUtf8(line.left(line.indexOf(" = ")));
    }
    QStringList expected;
    for (const char *key : kKeys)
        expected << QString::fromLatin1(key);
    QCOMPARE(keys, expected);
}

} // namespace

class TestSettingsFaults : public QObject {
    Q_OBJECT
private slots:
    void damagedSettingsFile_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("expected");   // the values the program must run with

        const QStringList defaults = fields(Settings());
        QTest::newRow("random bytes") << randomBytes(1024 * 1024, 7) << defaults;
        QTest::newRow("random bytes after a byte-order mark")
            << QByteArray("\xEF\xBB\xBF") + randomBytes(1024 * 1024, 11) << defaults;

        Settings known;
        known.FontSize = 12;
        known.WinW = 640;
        known.MarkdownVersion = QStringLiteral("gfm");
        const QByteArray tail = "FontSize = 12\r\nWinW = 640\r\nMarkdownVersion = gfm\r\n";

        QByteArray lines;
        for (int i = 0; i < 10000; ++i)
            lines += "Unknown" + QByteArray::number(i) + " = " + QByteArray::number(i) + "\r\n";
        QTest::newRow("ten thousand lines") << lines + tail << fields(known);

        QByteArray big;
        big.reserve(11 * 1024 * 1024);
        for (int i = 0; big.size() < 10 * 1024 * 1024; ++i)
            big += "; note " + QByteArray::number(i) + " " + QByteArray(40, 'n') + "\n";
        QTest::newRow("10 MB of lines") << big + tail << fields(known);

        Settings longPath = known;
        longPath.LastPath = QString(10 * 1024 * 1024, u'p');
        QTest::newRow("10 MB value") << "LastPath = " + QByteArray(10 * 1024 * 1024, 'p') + "\r\n" + tail
                                     << fields(longPath);

        Settings nul;
        nul.WinW = 640;
        nul.FontSize = 9;
        nul.MarkdownVersion = QStringLiteral("gfm");
        static const char nulFile[] = "\0\0\r\nWinW = 640\0junk\r\nFontSize\0 = 3\r\nFontSize = 9\r\n"
                                      "MarkdownVersion = gfm\r\n\0";
        QTest::newRow("NUL bytes") << QByteArray(nulFile, sizeof nulFile - 1) << fields(nul);
    }

    void damagedSettingsFile()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, expected);
        TestApp t;
        const QString path = t.configDir() + QString::fromLatin1(kSettingsFileName);
        QVERIFY(QDir().mkpath(t.configDir()));
        QVERIFY(writeFileBytes(path, file));

        QElapsedTimer clock;
        clock.start();
        QVERIFY(t.start());
        qInfo("start-up with a %lld-byte settings file: %lld ms", qlonglong(file.size()), clock.elapsed());
        QCOMPARE(fields(app().settings), expected);
        QVERIFY(mainWindow()->isVisible());
        type(markdown(), "still typing\n");
        QCOMPARE(EditorText(markdown()), QByteArray("still typing\n"));

        clock.restart();
        t.shutdown();
        qInfo("shutdown: %lld ms", clock.elapsed());
        const QByteArray written = readFileBytes(path);
        checkLayout(written);
        // Read back, the file gives the program's values again.
        QCOMPARE(fields(ParseSettings(written)), fields(app().settings));
    }

    // A settings file that is a pipe or a folder: nothing waits on it, the defaults are used.
    void settingsFileThatIsNoFile()
    {
        for (const bool pipe : {true, false}) {
            TestApp t;   // its folders only: the program is not started
            const QString path = t.configDir() + QString::fromLatin1(kSettingsFileName);
            QVERIFY(QDir().mkpath(t.configDir()));
            QVERIFY(pipe ? fault::makeFifo(path) : QDir().mkpath(path));
            const SettingsLocation location = DecideSettingsLocation(t.binDir());
            auto watch = std::make_unique<fault::PipeWatch>(path);
            const Settings loaded = LoadSettings(location);
            QVERIFY(!watch->readerSeen());
            watch.reset();
            QCOMPARE(fields(loaded), fields(Settings()));
            SaveSettings(location, loaded);
            if (pipe)
                checkLayout(readFileBytes(path));
            else
                QVERIFY(QFileInfo(path).isDir());
        }
    }

    // Portable mode in a program folder that takes no new files: the settings file there
    // is still writable, and is written in place.
    void portableSettingsInAFolderThatTakesNoNewFiles()
    {
        TestApp t;   // its folders only: the program is not started
        const QString ini = t.binDir() + QString::fromLatin1(kSettingsFileName);
        QVERIFY(writeFileBytes(t.binDir() + QStringLiteral("portable.dat"), QByteArray()));
        Settings stored;
        stored.FontSize = 15;
        QVERIFY(WriteSettingsFile(ini, stored));
        const SettingsLocation location = DecideSettingsLocation(t.binDir());
        QVERIFY(location.Portable);
        Settings settings = LoadSettings(location);
        QCOMPARE(settings.FontSize, 15);
        settings.FontSize = 11;

        QVERIFY(QFile::setPermissions(t.binDir(), QFile::ReadOwner | QFile::ExeOwner));
        const auto restore = qScopeGuard([&] {
            QFile::setPermissions(t.binDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        });
        {
            PermissionBitsApply bits;
            QVERIFY(!QFile(t.binDir() + QStringLiteral("probe")).open(QIODevice::WriteOnly));
            QVERIFY(SaveSettings(location, settings));
        }
        checkLayout(readFileBytes(ini));
        QCOMPARE(ReadSettingsFile(ini).FontSize, 11);
        QCOMPARE(QDir(t.binDir()).entryList(QDir::Files).size(), 2);
    }

    // A stylesheet folder whose files can be reached but not listed: the program starts
    // with its default stylesheet, and HTML has no Select CSS submenu.
    void stylesheetFolderThatCannotBeListed()
    {
        const auto htmlMenu = [] {
            QStringList entries;
            for (QAction *top : mainWindow()->menuBar()->actions())
                if (top->text() == QStringLiteral("&HTML"))
                    for (QAction *a : top->menu()->actions())
                        entries << a->text();
            return entries;
        };
        TestApp t;
        QVERIFY(t.useMissingConverter());
        const QString css = t.binDir() + QStringLiteral("css/");
        QVERIFY(QDir().mkpath(css));
        QVERIFY(writeFileBytes(css + QStringLiteral("air.css"), "body { color: black; }\n"));
        QVERIFY(writeFileBytes(css + QStringLiteral("dark.css"), "body { color: white; }\n"));
        QVERIFY(QFile::setPermissions(css, QFile::ExeOwner));
        {
            PermissionBitsApply bits;
            QVERIFY(QDir(css).entryList(QDir::Files).isEmpty());
            QVERIFY(t.start());
        }
        QVERIFY(QFile::setPermissions(css, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QCOMPARE(document().stylesheet(), css + QStringLiteral("air.css"));
        QVERIFY(app().stylesheetList.isEmpty());
        QVERIFY(!htmlMenu().contains(QStringLiteral("Select &CSS")));
        t.shutdown();

        QVERIFY(t.start());
        QVERIFY(htmlMenu().contains(QStringLiteral("Select &CSS")));
        QCOMPARE(app().stylesheetList, QStringList({QStringLiteral("air.css"), QStringLiteral("dark.css")}));
    }

    // A folder whose name holds a line break, used in a file dialog, is remembered as the
    // last folder: it must not add lines of its own to the settings file, such as
    // another converter to start next time.
    void folderNameCannotWriteSettings()
    {
        TestApp t;
        const QString marker = t.root() + QStringLiteral("ran");
        const QString planted = fault::makeScript(t.root() + QStringLiteral("planted"),
                                                  "touch " + fault::shellQuoted(marker) + "\n");
        QVERIFY(t.useMissingConverter());
        QVERIFY(t.start());
        const QString folder = t.docsDir() + QStringLiteral("x\r\nPandocExe = ") + planted + QStringLiteral("\n/");
        QVERIFY(QDir().mkpath(folder));
        type(markdown(), "text\n");
        t.platform.fileAnswers.enqueue(folder + QStringLiteral("doc.md"));
        RunCommand(CmdSave);
        QCOMPARE(readFileBytes(folder + QStringLiteral("doc.md")), QByteArray("text\n"));
        const QString converter = app().settings.PandocExe;
        t.shutdown();

        const QString path = t.configDir() + QString::fromLatin1(kSettingsFileName);
        checkLayout(readFileBytes(path));
        QCOMPARE(ParseSettings(readFileBytes(path)).PandocExe, converter);
        QVERIFY(t.start());
        QCOMPARE(app().settings.PandocExe, converter);
        QTRY_COMPARE_WITH_TIMEOUT(app().converterState.load(), int(ConverterFailed), 20000);
        QVERIFY(!QFileInfo::exists(marker));
    }

    // A MarkdownVersion naming a Lua reader is never handed to Pandoc, which would run it:
    // the page is converted as markdown_mmd, the user is told once, and the file written at
    // the end holds the sound value.
    void markdownVersionNamingALuaReader()
    {
        TestApp t;
        const QString marker = t.root() + QStringLiteral("reader-ran");
        const QString reader = t.root() + QStringLiteral("reader.lua");
        QVERIFY(writeFileBytes(reader, "function Reader(input)\n"
                                       "  local f = io.open('" + marker.toUtf8() + "', 'w')\n"
                                       "  f:write('ran')\n"
                                       "  f:close()\n"
                                       "  return pandoc.Pandoc({pandoc.Para({pandoc.Str('from the reader')})})\n"
                                       "end\n"));
        const QString path = t.configDir() + QString::fromLatin1(kSettingsFileName);
        QVERIFY(QDir().mkpath(t.configDir()));
        QVERIFY(writeFileBytes(path, "FontSize = 12\r\nMarkdownVersion = " + reader.toUtf8() + "\r\n"));
        QVERIFY(writeFileBytes(t.docsDir() + QStringLiteral("doc.md"), "# Title\n"));

        QVERIFY(t.start({t.docsDir() + QStringLiteral("doc.md")}));
        QCOMPARE(app().settings.MarkdownVersion, QStringLiteral("markdown_mmd"));
        QCOMPARE(app().settings.FontSize, 12);
        QTRY_VERIFY_WITH_TIMEOUT(!lastPage().isEmpty(), 20000);
        const QByteArray page = readFileBytes(lastPage());
        QVERIFY2(page.contains("Title</h1>") && !page.contains("from the reader"), page.left(400).constData());
        QVERIFY(!QFileInfo::exists(marker));

        // The note shows at start, once.
        QCOMPARE(mainWindow()->statusText(), MarkdownVersionNote(reader));
        mainWindow()->setStatusText(QString());
        ShowSettingsNotes();
        QCOMPARE(mainWindow()->statusText(), QString());

        t.shutdown();
        const QByteArray written = readFileBytes(path);
        checkLayout(written);
        QVERIFY(written.contains("\r\nMarkdownVersion = markdown_mmd\r\n"));
        QVERIFY(written.contains("\r\nFontSize = 12\r\n"));
    }

    // Numbers at the ends of their range: the window stays paintable, the page is shown,
    // and the file written at the end holds what the program really used.
    void numbersOutOfRange()
    {
        const QByteArray files[] = {
            "WinCen = 0\r\nWinX = 2147483647\r\nWinY = -2147483648\r\nWinW = 2147483647\r\n"
            "WinH = 2147483647\r\nFontSize = 2147483647\r\nWordWrap = 99\r\nUpdateMilliseconds = -5\r\n",
            "WinW = -5\r\nWinH = 0\r\nFontSize = -3\r\nWordWrap = -1\r\nUpdateMilliseconds = 2147483647\r\n",
        };
        for (const QByteArray &file : files) {
            TestApp t;
            const QString path = t.configDir() + QString::fromLatin1(kSettingsFileName);
            QVERIFY(QDir().mkpath(t.configDir()));
            QVERIFY(writeFileBytes(path, file));
            QVERIFY(t.start());
            const QSize most = QGuiApplication::primaryScreen()->availableVirtualGeometry().size() * 2;
            QVERIFY(mainWindow()->width() <= most.width() && mainWindow()->height() <= most.height());
            QVERIFY(mainWindow()->width() >= 100 && mainWindow()->height() >= 100);
            QVERIFY(qAbs(mainWindow()->x()) <= 32767 && qAbs(mainWindow()->y()) <= 32767);
            QTRY_VERIFY_WITH_TIMEOUT(!lastPage().isEmpty() && !mainWindow()->preview()->isLoadingPage(), 20000);
            QVERIFY(!mainWindow()->grab().isNull());
            type(markdown(), "still typing\n");
            QCOMPARE(EditorText(markdown()), QByteArray("still typing\n"));
            t.shutdown();
            const QByteArray written = readFileBytes(path);
            checkLayout(written);
            const Settings back = ParseSettings(written);
            QCOMPARE(fields(back), fields(app().settings));
            QVERIFY(back.WinW <= most.width() && back.WinH <= most.height());
        }
    }
};

QUILLDOWN_FAULT_TEST_MAIN(TestSettingsFaults)
#include "tst_settingsfaults.moc"
