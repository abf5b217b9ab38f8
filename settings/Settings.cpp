#include "settings/Settings.h"

#include "files/DocumentFiles.h"
#include "settings/Paths.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QStringDecoder>
#include <limits>

QString UserSettingsDirectory(const QString &appName)
{
    QString root = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (root.isEmpty()) {
        const QString home = qEnvironmentVariable("HOME");
        if (!home.isEmpty())
            root = WithTrailingSlash(home) + QStringLiteral(".config");
    }
    return WithTrailingSlash(root) + SanitizeFileName(appName) + u'/';
}

namespace {

qint64 modifiedSeconds(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return 0;
    return info.lastModified().toSecsSinceEpoch();
}

} // namespace

SettingsLocation DecideSettingsLocation(const QString &baseDirectory)
{
    SettingsLocation location;
    location.UserDirectory = UserSettingsDirectory(location.AppName);
    location.BaseDirectory = WithTrailingSlash(baseDirectory);

    const QDir base(location.BaseDirectory);
    const QString marker = location.PortableMarkerName.toLower();
    const QStringList files = base.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : files) {
        if (name.toLower() == marker) {
            location.PortableMarkerFound = true;
            break;
        }
    }
    if (location.PortableMarkerFound) {
        location.Portable = true;
        return location;
    }
    const QString file = QString::fromLatin1(kSettingsFileName);
    location.Portable = modifiedSeconds(location.BaseDirectory + file)
                        > modifiedSeconds(location.UserDirectory + file);
    return location;
}

QString SettingsDirectory(const SettingsLocation &location, bool create)
{
    if (location.Portable)
        return location.BaseDirectory;
    if (create)
        CreateDirectoryPath(location.UserDirectory);
    return location.UserDirectory;
}

QString SettingsFilePath(const SettingsLocation &location, bool create)
{
    return SettingsDirectory(location, create) + QString::fromLatin1(kSettingsFileName);
}

namespace {

bool isBlank(QChar c) { return c == u' ' || c == u'\t'; }

QString trimBlanks(const QString &text)
{
    qsizetype begin = 0, end = text.size();
    while (begin < end && isBlank(text.at(begin)))
        ++begin;
    while (end > begin && isBlank(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

// An optionally signed decimal number at the start of the value; 0 when there is none.
// Values beyond the range of int are held at its ends.
int parseLeadingInteger(const QString &value)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < value.size() && (value.at(i) == u'-' || value.at(i) == u'+')) {
        negative = value.at(i) == u'-';
        ++i;
    }
    qint64 number = 0;
    const qint64 limit = qint64(std::numeric_limits<int>::max()) + 1;
    for (; i < value.size() && value.at(i) >= u'0' && value.at(i) <= u'9'; ++i) {
        number = number * 10 + (value.at(i).unicode() - u'0');
        if (number > limit)
            number = limit;
    }
    if (negative)
        number = -number;
    if (number > std::numeric_limits<int>::max())
        number = std::numeric_limits<int>::max();
    return int(number);
}

// Key (lower case) -> raw value of the first occurrence, from the group-less area.
QHash<QString, QString> readValues(const QByteArray &bytes)
{
    QString text;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        QStringDecoder decoder(QStringDecoder::Utf8);
        text = decoder(bytes.mid(3));
    } else {
        text = QString::fromLatin1(bytes);
    }

    QHash<QString, QString> values;
    qsizetype pos = 0;
    const qsizetype size = text.size();
    while (pos < size) {
        qsizetype end = pos;
        while (end < size && text.at(end) != u'\r' && text.at(end) != u'\n')
            ++end;
        qsizetype start = pos;
        pos = end + 1;
        while (start < end && isBlank(text.at(start)))
            ++start;
        if (start == end || text.at(start) == u';')
            continue;
        if (text.at(start) == u'[')
            break;  // a group header ends the area the program reads
        const QStringView line = QStringView(text).mid(start, end - start);
        const qsizetype equals = line.indexOf(u'=');
        const QString key = trimBlanks(line.left(equals < 0 ? line.size() : equals).toString()).toLower();
        const QString value = equals < 0 ? QString() : line.mid(equals + 1).toString();
        if (!values.contains(key))
            values.insert(key, value);
    }
    return values;
}

} // namespace

Settings ParseSettings(const QByteArray &bytes)
{
    const QHash<QString, QString> values = readValues(bytes);
    Settings s;
    auto integer = [&](const char *key, int &target) {
        const auto it = values.constFind(QString::fromLatin1(key).toLower());
        if (it != values.constEnd())
            target = parseLeadingInteger(trimBlanks(*it));
    };
    auto text = [&](const char *key, QString &target) {
        const auto it = values.constFind(QString::fromLatin1(key).toLower());
        if (it != values.constEnd())
            target = trimBlanks(*it);
    };
    integer("WinCen", s.WinCen);
    integer("WinMax", s.WinMax);
    integer("WinX", s.WinX);
    integer("WinY", s.WinY);
    integer("WinW", s.WinW);
    integer("WinH", s.WinH);
    text("FontName", s.FontName);
    integer("FontSize", s.FontSize);
    integer("WordWrap", s.WordWrap);
    integer("SyncScroll", s.SyncScroll);
    s.SyncScroll = s.SyncScroll != 0 ? 1 : 0;
    text("LastPath", s.LastPath);
    integer("UpdateMilliseconds", s.UpdateMilliseconds);
    text("MarkdownVersion", s.MarkdownVersion);
    text("PandocExe", s.PandocExe);
    return s;
}

QByteArray FormatSettings(const Settings &s, const QDateTime &savedAt)
{
    QByteArray out("\xEF\xBB\xBF\r\n");
    auto comment = [&](const QString &text) { out += "; " + text.toUtf8() + "\r\n"; };
    // A line break inside a value (a folder may have one in its name) would start a line
    // of its own, read back as a key of its choosing: such a value is left empty.
    auto value = [&](const char *key, const QString &v) {
        const bool breaks = v.contains(u'\r') || v.contains(u'\n');
        out += QByteArray(key) + " = " + (breaks ? QByteArray() : v.toUtf8()) + "\r\n";
    };
    auto number = [&](const char *key, int v) { value(key, QString::number(v)); };

    comment(QStringLiteral("Quilldown 1.7"));
    comment(savedAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    number("WinCen", 0);
    number("WinMax", s.WinMax);
    number("WinX", s.WinX);
    number("WinY", s.WinY);
    number("WinW", s.WinW);
    number("WinH", s.WinH);
    value("FontName", s.FontName);
    number("FontSize", s.FontSize);
    number("WordWrap", s.WordWrap);
    number("SyncScroll", s.SyncScroll != 0 ? 1 : 0);
    value("LastPath", s.LastPath);
    number("UpdateMilliseconds", s.UpdateMilliseconds);
    value("MarkdownVersion", s.MarkdownVersion);
    comment(QStringLiteral("MarkdownVersion = markdown_strict markdown markdown_mmd markdown_phpextra gfm markdown_github"));
    value("PandocExe", s.PandocExe);
    return out;
}

Settings ReadSettingsFile(const QString &path)
{
    // Nothing read (a missing file, a pipe, a folder) parses to the defaults.
    return ParseSettings(ReadTextFile(path));
}

bool WriteSettingsFile(const QString &path, const Settings &settings)
{
    QSaveFile file(path);
    // A portable program folder may take no new files while its settings file is
    // writable: that file is then written in place. Never into a pipe or device.
    file.setDirectWriteFallback(QFileInfo(path).isFile());
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(FormatSettings(settings, QDateTime::currentDateTime()));
    return file.commit();
}

Settings LoadSettings(const SettingsLocation &location)
{
    return ReadSettingsFile(SettingsFilePath(location, false));
}

bool SaveSettings(const SettingsLocation &location, const Settings &settings)
{
    return WriteSettingsFile(SettingsFilePath(location, true), settings);
}
