// The settings file: exact layout, reading rules for hand-edited files, the portable
// decision and safe replacement.
#include "common/TestSupport.h"

#include "settings/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <type_traits>

namespace {

QByteArray bom() { return QByteArray("\xEF\xBB\xBF"); }

// "Key=value" for every key, from the key list: a failed comparison names the key.
QStringList described(const Settings &s)
{
    QStringList out;
    const auto add = [&](const char *key, const auto &value) {
        if constexpr (std::is_same_v<std::decay_t<decltype(value)>, int>)
            out << QString::fromLatin1(key) + u'=' + QString::number(value);
        else
            out << QString::fromLatin1(key) + u'=' + value;
    };
#define DESCRIBE_SETTING(type, name, initial, rule) add(#name, s.name);
    QUILLDOWN_SETTINGS(DESCRIBE_SETTING)
#undef DESCRIBE_SETTING
    return out;
}

// A value other than the default that `rule` keeps as written, and what it reads as.
QByteArray otherValue(SettingRule rule)
{
    switch (rule) {
    case SettingRule::Number:
    case SettingRule::CentreOnce:
        return "-1234";
    case SettingRule::Flag:
        return "0";
    case SettingRule::Text:
        return "x y\xC3\xA9";
    case SettingRule::FormatName:
        return "gfm+smart";
    }
    return QByteArray();
}

void setModified(const QString &path, const QDateTime &when)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(when, QFileDevice::FileModificationTime));
}

} // namespace

class TestSettings : public QObject {
    Q_OBJECT
private slots:
    void writtenLayoutIsExact()
    {
        Settings s;
        s.WinCen = 1;   // always written as 0
        s.WinMax = 1;
        s.WinX = -8;
        s.WinY = 12;
        s.WinW = 1024;
        s.WinH = 700;
        s.FontName = QStringLiteral("DejaVu Sans Mono");
        s.FontSize = 11;
        s.WordWrap = 2;
        s.SyncScroll = 5;  // any non-zero value is written as 1
        s.LastPath = QStringLiteral("/home/zoë/notes/");
        s.UpdateMilliseconds = 300;
        s.MarkdownVersion = QStringLiteral("gfm");
        s.PandocExe = QString();
        const QByteArray expected = bom() +
            "\r\n"
            "; Quilldown 1.7\r\n"
            "; 2026-12-07 01:05:09\r\n"
            "WinCen = 0\r\n"
            "WinMax = 1\r\n"
            "WinX = -8\r\n"
            "WinY = 12\r\n"
            "WinW = 1024\r\n"
            "WinH = 700\r\n"
            "FontName = DejaVu Sans Mono\r\n"
            "FontSize = 11\r\n"
            "WordWrap = 2\r\n"
            "SyncScroll = 1\r\n"
            "LastPath = /home/zo\xC3\xAB/notes/\r\n"
            "UpdateMilliseconds = 300\r\n"
            "MarkdownVersion = gfm\r\n"
            "; MarkdownVersion = markdown_strict markdown markdown_mmd markdown_phpextra gfm markdown_github\r\n"
            "PandocExe = \r\n";
        const QByteArray written = FormatSettings(s, QDateTime(QDate(2026, 12, 7), QTime(1, 5, 9)));
        QCOMPARE(written, expected);
        QCOMPARE(written.count("\r\n"), 18);

        // And it reads back to the same values, but for the two held to their rules.
        Settings back = s;
        back.WinCen = 0;
        back.SyncScroll = 1;
        QCOMPARE(described(ParseSettings(written)), described(back));
    }

    void defaultsWhenMissing()
    {
        const Settings s = ReadSettingsFile(QStringLiteral("/nonexistent/Quilldown.ini"));
        const QByteArray expected = bom() +
            "\r\n"
            "; Quilldown 1.7\r\n"
            "; 2026-01-02 03:04:05\r\n"
            "WinCen = 0\r\n"
            "WinMax = 0\r\n"
            "WinX = 0\r\n"
            "WinY = 0\r\n"
            "WinW = 800\r\n"
            "WinH = 600\r\n"
            "FontName = Courier New\r\n"
            "FontSize = 8\r\n"
            "WordWrap = 0\r\n"
            "SyncScroll = 1\r\n"
            "LastPath = \r\n"
            "UpdateMilliseconds = 750\r\n"
            "MarkdownVersion = markdown_mmd\r\n"
            "; MarkdownVersion = markdown_strict markdown markdown_mmd markdown_phpextra gfm markdown_github\r\n"
            "PandocExe = \r\n";
        QCOMPARE(FormatSettings(s, QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5))), expected);
        QCOMPARE(s.WinCen, 1);   // a first start centres the window
    }

    // Each key of the list is read under its own name, in any letter case, into its own
    // field only, and written back under that name.
    void everyKeyIsReadAndWritten()
    {
        for (const SettingKey &key : kSettingKeys) {
            const QByteArray name(key.name);
            const QByteArray value = otherValue(key.rule);
            const Settings read = ParseSettings(bom() + name.toLower() + " = " + value + "\r\n");
            const QStringList before = described(Settings()), after = described(read);
            QCOMPARE(before.size(), after.size());
            QStringList changed;
            for (qsizetype i = 0; i < before.size(); ++i)
                if (before[i] != after[i])
                    changed << after[i];
            QCOMPARE(changed, QStringList{QString::fromLatin1(name) + u'=' + QString::fromUtf8(value)});
            const QByteArray written = FormatSettings(read, QDateTime::currentDateTime());
            const QByteArray line = "\r\n" + name + " = " + (key.rule == SettingRule::CentreOnce ? "0" : value) + "\r\n";
            QVERIFY2(written.contains(line), name.constData());
        }
    }

    void readingRules()
    {
        // No BOM: ISO-8859-1, one character per byte.
        Settings s = ParseSettings("LastPath = /home/caf\xE9/\r\n");
        QCOMPARE(s.LastPath, QStringLiteral("/home/café/"));
        // With BOM: UTF-8.
        s = ParseSettings(bom() + "LastPath = /home/caf\xC3\xA9/\n");
        QCOMPARE(s.LastPath, QStringLiteral("/home/café/"));

        s = ParseSettings(
            "\t ; FontSize = 30\n"          // comment
            "\n"
            "  fontsize\t=\t12pt  \n"        // lower-case key, leading blanks, unit suffix
            "FONTSIZE = 14\n"                // later occurrence ignored
            "WinW = big\n"                   // not a number: 0, not the default
            "WinH = -42x\n"
            "FontName =    Fira Code  \t\n"  // text trimmed on both sides
            "PandocExe =\n"                  // present and empty: empty, not the default
            "MarkdownVersion\n"              // no '=': present with an empty value, no format
            "SyncScroll = 7\n"
            "[Editor]\n"                     // a group header ends the readable area
            "WordWrap = 1\n"
            "WinX = 99\n");
        QCOMPARE(s.FontSize, 12);
        QCOMPARE(s.WinW, 0);
        QCOMPARE(s.WinH, -42);
        QCOMPARE(s.FontName, QStringLiteral("Fira Code"));
        QCOMPARE(s.PandocExe, QString());
        QCOMPARE(s.MarkdownVersion, QStringLiteral("markdown_mmd"));
        QCOMPARE(s.SyncScroll, 1);
        QCOMPARE(s.WordWrap, 0);
        QCOMPARE(s.WinX, 0);
        QCOMPARE(s.UpdateMilliseconds, 750);  // missing: default

        // CR-only line ends and huge numbers.
        s = ParseSettings("WinX = 99999999999999\rWinY = -99999999999999\rFontSize=+9");
        QCOMPARE(s.WinX, std::numeric_limits<int>::max());
        QCOMPARE(s.WinY, std::numeric_limits<int>::min());
        QCOMPARE(s.FontSize, 9);
    }

    void badFilesLoadWithoutHarm()
    {
        QCOMPARE(ParseSettings(QByteArray()).WinW, 800);
        QCOMPARE(ParseSettings(bom()).WinW, 800);

        QByteArray garbage(64 * 1024, Qt::Uninitialized);
        QRandomGenerator rng(42);
        for (char &c : garbage)
            c = char(rng.bounded(256));
        ParseSettings(garbage);  // must simply not crash
        ParseSettings(bom() + garbage);

        QByteArray withNul("WinW = 640\0trailing\r\nWinH = 480\r\n", 34);
        Settings s = ParseSettings(withNul);
        QCOMPARE(s.WinW, 640);
        QCOMPARE(s.WinH, 480);

        // Ten thousand lines, the wanted key last; and a 10 MB single line.
        QByteArray many;
        for (int i = 0; i < 10000; ++i)
            many += "Key" + QByteArray::number(i) + " = " + QByteArray::number(i) + "\r\n";
        many += "FontSize = 21\r\n";
        QCOMPARE(ParseSettings(many).FontSize, 21);
        QByteArray huge = "FontName = " + QByteArray(10 * 1024 * 1024, 'a') + "\nFontSize = 3\n";
        s = ParseSettings(huge);
        QCOMPARE(s.FontName.size(), 10 * 1024 * 1024);
        QCOMPARE(s.FontSize, 3);
    }

    void latin1FileIsRewrittenAsUtf8()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + QStringLiteral("/Quilldown.ini");
        QVERIFY(writeFileBytes(path, "LastPath = /srv/caf\xE9/\r\n"));
        const Settings s = ReadSettingsFile(path);
        QVERIFY(WriteSettingsFile(path, s));
        const QByteArray bytes = readFileBytes(path);
        QVERIFY(bytes.startsWith(bom() + "\r\n"));
        QVERIFY(bytes.contains("LastPath = /srv/caf\xC3\xA9/\r\n"));
        // Saving again rewrites the whole file: same size.
        QVERIFY(WriteSettingsFile(path, ReadSettingsFile(path)));
        QCOMPARE(readFileBytes(path).size(), bytes.size());
    }

    void failedWriteKeepsTheOldFile()
    {
        QTemporaryDir dir;
        const QString folder = dir.path() + QStringLiteral("/ro");
        QVERIFY(QDir().mkdir(folder));
        const QString path = folder + QStringLiteral("/Quilldown.ini");
        QVERIFY(writeFileBytes(path, "FontSize = 13\r\n"));
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        const bool root = geteuid() == 0;
        if (!root) {
            QVERIFY(!WriteSettingsFile(path, Settings()));
            QCOMPARE(readFileBytes(path), QByteArray("FontSize = 13\r\n"));
        }
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        // A folder that cannot exist (a file is in the way) fails cleanly too.
        QVERIFY(writeFileBytes(dir.path() + QStringLiteral("/file"), "x"));
        QVERIFY(!WriteSettingsFile(dir.path() + QStringLiteral("/file/Quilldown.ini"), Settings()));
        // Writing to /dev/full-like failure: a path inside /proc cannot be created.
        QVERIFY(!WriteSettingsFile(QStringLiteral("/proc/quilldown-test/Quilldown.ini"), Settings()));
    }

    // MarkdownVersion reaches Pandoc as its input format: only a format name, with
    // extensions, is used; anything else (a Lua reader's path above all) gives the default
    // and a note for the user, and the default is what is written back.
    void markdownVersionMustBeAFormatName_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<bool>("kept");
        for (const char *good : {"markdown_mmd", "gfm", "gfm+hard_line_breaks-smart", "commonmark_x+footnotes",
                                 "markdown_strict", "Markdown2", "no_such_format"})
            QTest::newRow(good) << QByteArray(good) << true;
        int row = 0;
        for (const char *bad : {"x.lua", "../x", "/tmp/r.lua", "", "gfm smart", "gfm\x01", "gfm\x1b[2J",
                                "+smart", "-f", "_x", "reader.lua+smart", "gfm/x", "caf\xC3\xA9"})
            QTest::addRow("bad %d", row++) << QByteArray(bad) << false;
    }

    void markdownVersionMustBeAFormatName()
    {
        QFETCH(QByteArray, value);
        QFETCH(bool, kept);
        const QString text = QString::fromUtf8(value);
        QCOMPARE(IsPandocFormatName(text), kept);
        const ParsedSettings parsed = ParseSettingsWithNotes(bom() + "FontSize = 12\r\nMarkdownVersion = " + value + "\r\n");
        QCOMPARE(parsed.values.FontSize, 12);   // the rest of the file is read as ever
        QCOMPARE(parsed.values.MarkdownVersion, kept ? text : QStringLiteral("markdown_mmd"));
        QCOMPARE(parsed.notes.isEmpty(), kept);
        QCOMPARE(MarkdownVersionNote(text).isEmpty(), kept);
        if (!kept) {
            QCOMPARE(parsed.notes, QStringList{MarkdownVersionNote(text)});
            const QString note = parsed.notes.constFirst();
            QVERIFY(note.startsWith(QStringLiteral("The MarkdownVersion '")));
            QVERIFY(note.endsWith(QStringLiteral("' in Quilldown.ini is not a Pandoc format; using markdown_mmd.")));
            for (const QChar c : note)
                QVERIFY2(c.isPrint(), "a note shows no control characters");
            QVERIFY(FormatSettings(parsed.values, QDateTime::currentDateTime())
                        .contains("\r\nMarkdownVersion = markdown_mmd\r\n"));
        }
    }

    void markdownVersionWrittenAndNoted()
    {
        // A record filled in by hand is written as it would be read back.
        Settings s;
        s.MarkdownVersion = QStringLiteral("x.lua");
        QVERIFY(FormatSettings(s, QDateTime::currentDateTime()).contains("\r\nMarkdownVersion = markdown_mmd\r\n"));

        QCOMPARE(MarkdownVersionNote(QStringLiteral("x.lua")),
                 QStringLiteral("The MarkdownVersion 'x.lua' in Quilldown.ini is not a Pandoc format; using markdown_mmd."));
        QCOMPARE(MarkdownVersionNote(QStringLiteral("a\tb")),
                 QStringLiteral("The MarkdownVersion 'a?b' in Quilldown.ini is not a Pandoc format; using markdown_mmd."));
        // A hostile length is cut short in the note.
        QVERIFY(MarkdownVersionNote(QString(100000, u'.')).size() < 200);
    }

    void portableDecision()
    {
        QTemporaryDir dir;
        const QString base = dir.path() + QStringLiteral("/bin/");
        const QString config = dir.path() + QStringLiteral("/config");
        QVERIFY(QDir().mkpath(base));
        QVERIFY(QDir().mkpath(config + QStringLiteral("/Quilldown")));
        const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", config.toUtf8());

        // Neither file: per-user.
        SettingsLocation loc = DecideSettingsLocation(base);
        QVERIFY(!loc.Portable);
        QCOMPARE(loc.UserDirectory, config + QStringLiteral("/Quilldown/"));
        QCOMPARE(loc.BaseDirectory, base);

        // A folder named like the marker does not count.
        QVERIFY(QDir().mkdir(base + QStringLiteral("portable.dat")));
        QVERIFY(!DecideSettingsLocation(base).Portable);
        QVERIFY(QDir().rmdir(base + QStringLiteral("portable.dat")));

        // The marker in any letter case.
        QVERIFY(writeFileBytes(base + QStringLiteral("Portable.DAT"), ""));
        loc = DecideSettingsLocation(base);
        QVERIFY(loc.Portable);
        QVERIFY(loc.PortableMarkerFound);
        QVERIFY(QFile::remove(base + QStringLiteral("Portable.DAT")));

        // Without a marker the newer settings file wins; equal times stay per-user.
        const QString userIni = config + QStringLiteral("/Quilldown/Quilldown.ini");
        const QString baseIni = base + QStringLiteral("Quilldown.ini");
        QVERIFY(writeFileBytes(userIni, "WinW = 1\r\n"));
        QVERIFY(writeFileBytes(baseIni, "WinW = 2\r\n"));
        const QDateTime now = QDateTime::currentDateTime();
        setModified(userIni, now.addSecs(-100));
        setModified(baseIni, now);
        QVERIFY(DecideSettingsLocation(base).Portable);
        setModified(baseIni, now.addSecs(-200));
        QVERIFY(!DecideSettingsLocation(base).Portable);
        setModified(baseIni, now.addSecs(-100));
        QVERIFY(!DecideSettingsLocation(base).Portable);
        QVERIFY(QFile::remove(userIni));
        QVERIFY(DecideSettingsLocation(base).Portable);  // only the copy next to the program

        qputenv("XDG_CONFIG_HOME", oldConfig);
    }

    void portableModeReadsAndWritesNextToTheProgram()
    {
        TestApp t;   // its folders only: the program is not started
        QVERIFY(writeFileBytes(t.binDir() + QStringLiteral("portable.dat"), ""));
        QVERIFY(writeFileBytes(t.binDir() + QStringLiteral("Quilldown.ini"), "FontSize = 17\r\n"));
        const SettingsLocation location = DecideSettingsLocation(t.binDir());
        QVERIFY(location.Portable);
        const Settings settings = LoadSettings(location);
        QCOMPARE(settings.FontSize, 17);
        QVERIFY(SaveSettings(location, settings));
        QVERIFY(readFileBytes(t.binDir() + QStringLiteral("Quilldown.ini")).contains("FontSize = 17\r\n"));
        QVERIFY(!QFileInfo::exists(t.configDir()));
    }
};

QUILLDOWN_TEST_MAIN(TestSettings)
#include "tst_settings.moc"
