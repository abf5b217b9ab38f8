// Finding Pandoc on PATH, probing it, and the message when it cannot be started.
#include "ConversionRig.h"

#include "core/AppState.h"
#include "conversion/ConverterLocation.h"
#include "settings/Settings.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

namespace {

QString makeScript(const QString &path, const QByteArray &body, bool executable = true)
{
    QDir().mkpath(path.left(path.lastIndexOf(u'/')));
    writeFileBytes(path, "#!/bin/sh\n" + body);
    QFile::Permissions perms = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
    if (executable)
        perms |= QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
    QFile::setPermissions(path, perms);
    return path;
}

// Restores PATH and the current folder when a test ends.
struct EnvironmentGuard {
    QByteArray path = qgetenv("PATH");
    QString folder = QDir::currentPath();
    ~EnvironmentGuard()
    {
        qputenv("PATH", path);
        QDir::setCurrent(folder);
    }
};

} // namespace

class TestConverterLocation : public QObject {
    Q_OBJECT
private slots:
    void init() { app().quit = 0; }

    void searchKeepsOrderAndSkipsDuplicatesFilesAndNonExecutables()
    {
        QTemporaryDir dir;
        const QString root = dir.path() + u'/';
        const QString plain = root + QStringLiteral("plain/");     // pandoc without execute bit
        const QString first = root + QStringLiteral("first/");
        const QString second = root + QStringLiteral("second/");
        const QString folderNamed = root + QStringLiteral("dirnamed/");   // "pandoc" is a folder here
        makeScript(plain + QStringLiteral("pandoc"), "exit 0\n", false);
        makeScript(first + QStringLiteral("pandoc"), "exit 0\n");
        makeScript(second + QStringLiteral("pandoc"), "exit 0\n");
        QDir().mkpath(folderNamed + QStringLiteral("pandoc"));
        const QString fileEntry = first + QStringLiteral("pandoc");
        const QString missing = root + QStringLiteral("missing");
        const QString path = QStringList{folderNamed, plain, first.chopped(1), first, QString(), fileEntry, missing,
                                         QStringLiteral("relative/bin"), QStringLiteral("."), second}
                                 .join(u':');

        QCOMPARE(BuildSearchPath(SearchPathUnique | SearchPathExistingOnly, path),
                 QStringList({folderNamed, plain, first, second}));
        // Without the existence option a missing folder stays; a file never does.
        QCOMPARE(BuildSearchPath(SearchPathUnique, path), QStringList({folderNamed, plain, first, missing + u'/', second}));
        QCOMPARE(BuildSearchPath(0, path), QStringList({folderNamed, plain, first, first, missing + u'/', second}));
        QCOMPARE(BuildSearchPath(SearchPathSorted | SearchPathUnique | SearchPathExistingOnly, path),
                 QStringList({folderNamed, first, plain, second}));
        QCOMPARE(BuildSearchPath(6, QString()), QStringList());

        QCOMPARE(FindInSearchPath(QStringLiteral("pandoc"), path), first + QStringLiteral("pandoc"));
        QCOMPARE(FindInSearchPath(QStringLiteral("pandoc"), second + u':' + path), second + QStringLiteral("pandoc"));
        QCOMPARE(FindInSearchPath(QStringLiteral("pandoc"), plain + u':' + folderNamed), QString());
        QCOMPARE(ChooseConverterPath(QString(), path), first + QStringLiteral("pandoc"));
        QCOMPARE(ChooseConverterPath(QString(), plain), QStringLiteral("pandoc"));
        // A custom path is taken as it is, even when it names nothing.
        QCOMPARE(ChooseConverterPath(QStringLiteral("/no/such/pandoc"), path), QStringLiteral("/no/such/pandoc"));
    }

    void currentFolderIsNeverSearched()
    {
        EnvironmentGuard guard;
        QTemporaryDir dir;
        const QString planted = dir.path() + QStringLiteral("/pandoc");
        const QString marker = dir.path() + QStringLiteral("/ran");
        makeScript(planted, "touch '" + marker.toUtf8() + "'\n");
        const QString empty = dir.path() + QStringLiteral("/empty");
        QDir().mkpath(empty);
        QDir::setCurrent(dir.path());
        qputenv("PATH", (empty + QStringLiteral(":.:")).toUtf8());
        QCOMPARE(FindInSearchPath(QStringLiteral("pandoc")), QString());
        QCOMPARE(ChooseConverterPath(QString()), QStringLiteral("pandoc"));
        // The bare name is looked up in PATH only, never taken from the current folder.
        QVERIFY(!ProbeConverter(QStringLiteral("pandoc")));
        QVERIFY(!QFile::exists(marker));
    }

    void probeRunsWithVersionOption()
    {
        QTemporaryDir dir;
        const QString log = dir.path() + QStringLiteral("/args");
        const QString fake = makeScript(dir.path() + QStringLiteral("/fake"), "printf '%s\\n' \"$@\" > '" + log.toUtf8() + "'\nexit 3\n");
        // Started counts, whatever the exit status.
        QVERIFY(ProbeConverter(fake));
        QCOMPARE(readFileBytes(log), QByteArray("-v\n"));
        QVERIFY(!ProbeConverter(dir.path() + QStringLiteral("/nothing")));
        QVERIFY(!ProbeConverter(makeScript(dir.path() + QStringLiteral("/notexec"), "exit 0\n", false)));
        QVERIFY(ProbeConverter(QStringLiteral("/usr/bin/pandoc")));
    }

    void missingCustomPathIsReportedOnceAndProgramGoesOn()
    {
        ConversionRig t;
        Settings settings;
        settings.PandocExe = t.root() + QStringLiteral("no/such/pandoc");
        QVERIFY(t.writeSettings(settings));
        QVERIFY(t.start());
        QTRY_COMPARE_WITH_TIMEOUT(app().converterState.load(), int(ConverterFailed), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(t.platform.messageCount(), 1, 20000);
        const RecordedMessage m = t.platform.lastMessage();
        QCOMPARE(m.text, QStringLiteral("Pandoc could not be initialized!\n\nCustom path: ") + settings.PandocExe);
        QCOMPARE(m.caption, QStringLiteral("Quilldown"));
        QCOMPARE(m.icon, MessageIcon::Error);
        QCOMPARE(m.buttons, MessageButtons::Ok);
        QCOMPARE(app().converterPath.get(), settings.PandocExe);

        // No preview, and no export: the export says it wrote nothing.
        const QString document = t.docsDir() + QStringLiteral("note.md");
        writeFileBytes(document, "# note\n");
        t.documentPath = document;
        QVERIFY(!t.exportHtml());
        QVERIFY(!QFile::exists(t.docsDir() + QStringLiteral("note.htm")));
        QTest::qWait(300);
        QCOMPARE(t.platform.messageCount(), 1);
        QVERIFY(t.lastPage.isEmpty());
        QCOMPARE(t.stop(), 0);
    }

    void missingPandocOnPathGivesShortMessage()
    {
        EnvironmentGuard guard;
        ConversionRig t;
        QDir().mkpath(t.root() + QStringLiteral("emptybin"));
        qputenv("PATH", (t.root() + QStringLiteral("emptybin")).toUtf8());
        QVERIFY(t.start());
        QTRY_COMPARE_WITH_TIMEOUT(t.platform.messageCount(), 1, 20000);
        QCOMPARE(t.platform.lastMessage().text, QStringLiteral("Pandoc could not be initialized!"));
        QCOMPARE(app().converterPath.get(), QStringLiteral("pandoc"));
        QTRY_COMPARE_WITH_TIMEOUT(app().converterState.load(), int(ConverterFailed), 20000);
    }

    void pandocFoundOnPathIsProbedAndUsed()
    {
        EnvironmentGuard guard;
        ConversionRig t;
        const QString folder = t.root() + QStringLiteral("fakebin/");
        const QString log = t.root() + QStringLiteral("runs");
        makeScript(folder + QStringLiteral("pandoc"),
                   "echo \"$1\" >> '" + log.toUtf8() + "'\nexec /usr/bin/pandoc \"$@\"\n");
        qputenv("PATH", (folder + QStringLiteral(":/usr/bin:/bin")).toUtf8());
        QVERIFY(t.start());
        QTRY_VERIFY_WITH_TIMEOUT(!t.lastPage.isEmpty(), 20000);
        QCOMPARE(app().converterPath.get(), folder + QStringLiteral("pandoc"));
        // The probe, then the first preview conversion.
        QCOMPARE(readFileBytes(log), QByteArray("-v\n--from\n"));
        QCOMPARE(t.platform.messageCount(), 0);
    }
};

QUILLDOWN_TEST_MAIN(TestConverterLocation)
#include "tst_converterlocation.moc"
