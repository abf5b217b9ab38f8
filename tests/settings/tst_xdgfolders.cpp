// The per-user XDG folders: which variable wins, which values are ignored, and the folders
// the settings and the stylesheet library take from them (the recovery folder's own test
// is in tests/recovery).
#include "files/XdgFolders.h"
#include "settings/Settings.h"
#include "settings/Stylesheets.h"

#include <QTest>

namespace {

// Sets the variables a case needs and gives every one back as it was.
class Environment {
public:
    Environment()
    {
        for (const char *name : kNames)
            saved_.append({name, qEnvironmentVariableIsSet(name), qgetenv(name)});
    }
    ~Environment()
    {
        for (const Saved &s : saved_) {
            if (s.set)
                qputenv(s.name, s.value);
            else
                qunsetenv(s.name);
        }
    }
    // nullptr unsets the variable.
    void set(const char *name, const char *value)
    {
        if (value)
            qputenv(name, value);
        else
            qunsetenv(name);
    }

private:
    static constexpr const char *kNames[] = {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "HOME"};
    struct Saved {
        const char *name;
        bool set;
        QByteArray value;
    };
    QList<Saved> saved_;
};

struct Base {
    XdgBase base;
    const char *variable;
    const char *underHome;
};
const Base kBases[] = {
    {XdgBase::Config, "XDG_CONFIG_HOME", "/home/ann/.config/"},
    {XdgBase::Data, "XDG_DATA_HOME", "/home/ann/.local/share/"},
    {XdgBase::State, "XDG_STATE_HOME", "/home/ann/.local/state/"},
};

} // namespace

class TestXdgFolders : public QObject {
    Q_OBJECT
private slots:
    void variableThenHome_data()
    {
        QTest::addColumn<QByteArray>("variable");   // "<unset>" for none
        QTest::addColumn<QByteArray>("home");
        QTest::addColumn<bool>("fromVariable");   // else from HOME, or none when HOME is unusable
        QTest::newRow("set") << QByteArray("/x//y/") << QByteArray("/home/ann") << true;
        QTest::newRow("set, cleaned") << QByteArray("/x/./z/../y") << QByteArray("/home/ann") << true;
        QTest::newRow("unset") << QByteArray("<unset>") << QByteArray("/home/ann/") << false;
        QTest::newRow("empty") << QByteArray("") << QByteArray("/home/ann") << false;
        QTest::newRow("relative") << QByteArray("rel/dir") << QByteArray("/home//ann") << false;
        QTest::newRow("relative, no home") << QByteArray("rel/dir") << QByteArray("") << false;
        QTest::newRow("unset, relative home") << QByteArray("<unset>") << QByteArray("ann") << false;
    }

    void variableThenHome()
    {
        QFETCH(QByteArray, variable);
        QFETCH(QByteArray, home);
        QFETCH(bool, fromVariable);
        const bool homeUsable = home.startsWith('/');
        for (const Base &b : kBases) {
            Environment env;
            env.set(b.variable, variable == "<unset>" ? nullptr : variable.constData());
            env.set("HOME", home.constData());
            const QString expected = fromVariable ? QStringLiteral("/x/y/")
                                     : homeUsable ? QString::fromLatin1(b.underHome)
                                                  : QString();
            QCOMPARE(XdgBaseFolder(b.base), expected);
            QCOMPARE(XdgUserFolder(b.base, QStringLiteral("Quilldown")),
                     expected.isEmpty() ? QString() : expected + QStringLiteral("Quilldown/"));
        }
    }

    // The settings and data folders, with and without a usable variable.
    void foldersOfTheProgram()
    {
        Environment env;
        env.set("XDG_CONFIG_HOME", "/cfg//");
        env.set("XDG_DATA_HOME", "/data");
        env.set("HOME", "/home/ann");
        QCOMPARE(UserSettingsDirectory("Quilldown"), QStringLiteral("/cfg/Quilldown/"));
        QCOMPARE(UserSettingsDirectory("a:b"), QStringLiteral("/cfg/a_b/"));
        QCOMPARE(UserDataDirectory("Quilldown"), QStringLiteral("/data/Quilldown/"));

        env.set("XDG_CONFIG_HOME", "");
        env.set("XDG_DATA_HOME", nullptr);
        QCOMPARE(UserSettingsDirectory("Quilldown"), QStringLiteral("/home/ann/.config/Quilldown/"));
        QCOMPARE(UserDataDirectory("Quilldown"), QStringLiteral("/home/ann/.local/share/Quilldown/"));

        // No folder at all: settings and stylesheets beside the current folder, as ever.
        env.set("HOME", "");
        QCOMPARE(UserSettingsDirectory("Quilldown"), QStringLiteral("Quilldown/"));
        QCOMPARE(UserDataDirectory("Quilldown"), QStringLiteral("Quilldown/"));
    }
};

QTEST_GUILESS_MAIN(TestXdgFolders)
#include "tst_xdgfolders.moc"
