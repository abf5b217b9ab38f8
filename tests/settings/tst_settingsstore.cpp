// The settings store: one getter, setter and signal per key, signalling real changes only,
// and its load and save through the settings file of a location.
#include "common/TestSupport.h"

#include "settings/SettingsStore.h"

#include <QDir>
#include <QSignalSpy>

namespace {

// A value other than the default for each type: every key gets one that its rule keeps.
int changed(int value) { return value == 0 ? 1 : 0; }
QString changed(const QString &) { return QStringLiteral("gfm+smart"); }

} // namespace

class TestSettingsStore : public QObject {
    Q_OBJECT
private slots:
    void settersSignalRealChangesOnly()
    {
        SettingsStore store;
#define CHECK_KEY(type, name, initial, rule)                                                     \
    {                                                                                            \
        QSignalSpy spy(&store, &SettingsStore::name##Changed);                                   \
        QCOMPARE(store.name(), type(initial));                                                   \
        store.set##name(initial);                                                                \
        QCOMPARE(spy.count(), 0);                                                                \
        const type other = changed(type(initial));                                               \
        store.set##name(other);                                                                  \
        store.set##name(other);                                                                  \
        QCOMPARE(spy.count(), 1);                                                                \
        QCOMPARE(spy.at(0).at(0).value<type>(), other);                                          \
        QCOMPARE(store.name(), other);                                                           \
        QCOMPARE(store.values().name, other);                                                    \
    }
        QUILLDOWN_SETTINGS(CHECK_KEY)
#undef CHECK_KEY

        // Setting the whole record signals each key that differs, once.
        QSignalSpy width(&store, &SettingsStore::WinWChanged);
        QSignalSpy font(&store, &SettingsStore::FontNameChanged);
        Settings next = store.values();
        next.WinW = 1234;
        store.setValues(next);
        store.setValues(next);
        QCOMPARE(width.count(), 1);
        QCOMPARE(font.count(), 0);
        QCOMPARE(store.values(), next);
    }

    // Setters hold values to the key's rule, as reading the file would.
    void settersKeepTheRules()
    {
        SettingsStore store;
        QSignalSpy sync(&store, &SettingsStore::SyncScrollChanged);
        store.setSyncScroll(7);   // already on: no change
        QCOMPARE(store.SyncScroll(), 1);
        store.setSyncScroll(0);
        store.setSyncScroll(-3);
        QCOMPARE(store.SyncScroll(), 1);
        QCOMPARE(sync.count(), 2);

        QSignalSpy format(&store, &SettingsStore::MarkdownVersionChanged);
        store.setMarkdownVersion(QStringLiteral("/tmp/r.lua"));
        QCOMPARE(store.MarkdownVersion(), QStringLiteral("markdown_mmd"));
        QCOMPARE(format.count(), 0);
        store.setMarkdownVersion(QStringLiteral("gfm-smart"));
        store.setMarkdownVersion(QStringLiteral("x.lua"));
        QCOMPARE(store.MarkdownVersion(), QStringLiteral("markdown_mmd"));
        QCOMPARE(format.count(), 2);
    }

    void loadAndSaveRoundTrip()
    {
        TestApp t;   // its folders only (XDG_CONFIG_HOME inside them): the program is not started
        const SettingsLocation location = DecideSettingsLocation(t.binDir());
        QVERIFY(!location.Portable);
        const QString path = t.configDir() + QString::fromLatin1(kSettingsFileName);

        // Nothing there yet: the defaults, nothing signalled, nothing to tell.
        SettingsStore store;
        QSignalSpy any(&store, &SettingsStore::FontSizeChanged);
        store.load(location);
        QCOMPARE(store.values(), Settings());
        QCOMPARE(any.count(), 0);
        QVERIFY(store.loadNotes().isEmpty());

        QVERIFY(QDir().mkpath(t.configDir()));
        QVERIFY(writeFileBytes(path, "FontSize = 13\r\nLastPath = /srv/notes/\r\nMarkdownVersion = ../x.lua\r\n"));
        QSignalSpy format(&store, &SettingsStore::MarkdownVersionChanged);
        store.load(location);
        QCOMPARE(any.count(), 1);
        QCOMPARE(format.count(), 0);
        QCOMPARE(store.FontSize(), 13);
        QCOMPARE(store.LastPath(), QStringLiteral("/srv/notes/"));
        QCOMPARE(store.MarkdownVersion(), QStringLiteral("markdown_mmd"));
        const QString note = MarkdownVersionNote(QStringLiteral("../x.lua"));
        QCOMPARE(store.loadNotes(), QStringList{note});
        QCOMPARE(store.takeLoadNotes(), note);
        QCOMPARE(store.takeLoadNotes(), QString());   // told once

        store.setWordWrap(1);
        QVERIFY(store.save(location));
        const QByteArray written = readFileBytes(path);
        QVERIFY(written.contains("\r\nMarkdownVersion = markdown_mmd\r\n"));
        QCOMPARE(written, FormatSettings(store.values(), QDateTime::fromString(
                                                             QString::fromUtf8(written.mid(24, 19)),
                                                             QStringLiteral("yyyy-MM-dd HH:mm:ss"))));
        SettingsStore again;
        again.load(location);
        Settings expected = store.values();
        expected.WinCen = 0;   // written as 0 once the window has been placed
        QCOMPARE(again.values(), expected);
        QVERIFY(again.loadNotes().isEmpty());

        // A location whose folder cannot be made: saving says so.
        SettingsLocation blocked = location;
        QVERIFY(writeFileBytes(t.root() + QStringLiteral("file"), "x"));
        blocked.UserDirectory = t.root() + QStringLiteral("file/Quilldown/");
        QVERIFY(!store.save(blocked));
    }
};

QUILLDOWN_TEST_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
