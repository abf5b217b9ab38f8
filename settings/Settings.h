#pragma once
// The settings file "Quilldown.ini": where it lives, how a hand-edited copy is read, and
// the exact layout it is written in.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

// How a key's value is read from the file and written back; the rule is the key's range.
enum class SettingRule {
    Number,       // an optionally signed decimal at the start of the value (0 when there is
                  // none), held at the ends of int
    Flag,         // a Number where anything but 0 means 1
    CentreOnce,   // a Number, always written as 0: the window is centred on the first start
                  // only, afterwards it comes back where it was left
    Text,         // the value without blanks around it; one holding a line break is written
                  // empty, so that it cannot add lines of its own
    FormatName,   // Text naming a Pandoc input format (IsPandocFormatName), else the default;
                  // written followed by a comment listing the usual choices
};

// Every key of the settings file, declared once, in the order it is written:
// X(type, name, default, rule). The record, the reader, the writer and the store's
// getters, setters and signals are all made from this list.
#define QUILLDOWN_SETTINGS(X)                                                          \
    X(int, WinCen, 1, SettingRule::CentreOnce)                                         \
    X(int, WinMax, 0, SettingRule::Number)                                             \
    X(int, WinX, 0, SettingRule::Number)                                               \
    X(int, WinY, 0, SettingRule::Number)                                               \
    X(int, WinW, 800, SettingRule::Number)                                             \
    X(int, WinH, 600, SettingRule::Number)                                             \
    X(QString, FontName, QStringLiteral("Courier New"), SettingRule::Text)             \
    X(int, FontSize, 8, SettingRule::Number)                                           \
    X(int, WordWrap, 0, SettingRule::Number)                                           \
    X(int, SyncScroll, 1, SettingRule::Flag)                                           \
    X(QString, LastPath, QString(), SettingRule::Text)                                 \
    X(int, UpdateMilliseconds, 750, SettingRule::Number)                               \
    X(QString, MarkdownVersion, QStringLiteral("markdown_mmd"), SettingRule::FormatName) \
    X(QString, PandocExe, QString(), SettingRule::Text)

// The values of every key: what the file is read into and written from.
struct Settings {
#define QUILLDOWN_SETTING_FIELD(type, name, initial, rule) type name = initial;
    QUILLDOWN_SETTINGS(QUILLDOWN_SETTING_FIELD)
#undef QUILLDOWN_SETTING_FIELD

    bool operator==(const Settings &) const = default;
};

// A key's name and rule, for code that walks the keys (in the order they are written).
struct SettingKey {
    const char *name;
    SettingRule rule;
};
inline constexpr SettingKey kSettingKeys[] = {
#define QUILLDOWN_SETTING_KEY(type, name, initial, rule) {#name, rule},
    QUILLDOWN_SETTINGS(QUILLDOWN_SETTING_KEY)
#undef QUILLDOWN_SETTING_KEY
};

struct SettingsLocation {
    QString AppName = QStringLiteral("Quilldown");
    QString UserDirectory;   // per-user settings folder, ending in "/"
    QString BaseDirectory;   // folder of the executable, ending in "/"
    bool Portable = false;
    bool PortableMarkerFound = false;
    QString PortableMarkerName = QStringLiteral("portable.dat");
};

inline constexpr const char *kSettingsFileName = "Quilldown.ini";

// The XDG config folder (files/XdgFolders), then the application's name and "/". Without
// one the folder is that name relative to the current folder.
QString UserSettingsDirectory(const QString &appName);
// Decides portable mode for the given executable folder.
SettingsLocation DecideSettingsLocation(const QString &baseDirectory);

// `create` makes the per-user folder when it is missing.
QString SettingsDirectory(const SettingsLocation &location, bool create);
QString SettingsFilePath(const SettingsLocation &location, bool create);

// Whether `value` names a Pandoc input format, with extensions: letters, digits, "_",
// "+" and "-", beginning with a letter ("gfm+hard_line_breaks-smart"). Never a path:
// Pandoc would run a Lua reader named as the format.
bool IsPandocFormatName(const QString &value);
// Empty when `value` is a format name; else the note for the user saying the default is
// used instead.
QString MarkdownVersionNote(const QString &value);

// `value` as the key's rule allows it: a Flag becomes 0 or 1, a FormatName that is none
// becomes `fallback` (the key's default); anything else is kept.
int HeldToRule(SettingRule rule, int value, int fallback);
QString HeldToRule(SettingRule rule, const QString &value, const QString &fallback);

// The record read from a settings file, and a note for the user about each value that
// could not be used as written and was replaced by its default.
struct ParsedSettings {
    Settings values;
    QStringList notes;
};
ParsedSettings ParseSettingsWithNotes(const QByteArray &bytes);
Settings ParseSettings(const QByteArray &bytes);
QByteArray FormatSettings(const Settings &settings, const QDateTime &savedAt);
Settings ReadSettingsFile(const QString &path);   // defaults when missing or unreadable
ParsedSettings ReadSettingsFileWithNotes(const QString &path);
// Replaces the file atomically; the old file stays whole when anything fails.
bool WriteSettingsFile(const QString &path, const Settings &settings);

// The settings file of `location`: defaults when it cannot be read; written atomically.
Settings LoadSettings(const SettingsLocation &location);
ParsedSettings LoadSettingsWithNotes(const SettingsLocation &location);
bool SaveSettings(const SettingsLocation &location, const Settings &settings);
