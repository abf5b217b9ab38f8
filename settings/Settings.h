#pragma once
// The settings file "Quilldown.ini": where it lives, how a hand-edited copy is read, and
// the exact layout it is written in.

#include <QByteArray>
#include <QDateTime>
#include <QString>

struct Settings {
    int WinCen = 1;
    int WinMax = 0;
    int WinX = 0;
    int WinY = 0;
    int WinW = 800;
    int WinH = 600;
    QString FontName = QStringLiteral("Courier New");
    int FontSize = 8;
    int WordWrap = 0;
    int SyncScroll = 1;
    QString LastPath;
    int UpdateMilliseconds = 750;
    QString MarkdownVersion = QStringLiteral("markdown_mmd");
    QString PandocExe;
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

// $XDG_CONFIG_HOME, else $HOME/.config, then "Quilldown/". Without either variable the
// folder is "Quilldown/" relative to the current folder.
QString UserSettingsDirectory(const QString &appName);
// Decides portable mode for the given executable folder.
SettingsLocation DecideSettingsLocation(const QString &baseDirectory);

// `create` makes the per-user folder when it is missing.
QString SettingsDirectory(const SettingsLocation &location, bool create);
QString SettingsFilePath(const SettingsLocation &location, bool create);

Settings ParseSettings(const QByteArray &bytes);
QByteArray FormatSettings(const Settings &settings, const QDateTime &savedAt);
Settings ReadSettingsFile(const QString &path);   // defaults when missing or unreadable
// Replaces the file atomically; the old file stays whole when anything fails.
bool WriteSettingsFile(const QString &path, const Settings &settings);

// The settings file of `location`: defaults when it cannot be read; written atomically.
Settings LoadSettings(const SettingsLocation &location);
bool SaveSettings(const SettingsLocation &location, const Settings &settings);
