#include "settings/Settings.h"

#include "files/DocumentFiles.h"
#include "files/XdgFolders.h"
#include "settings/Paths.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QStringDecoder>
#include <limits>

QString UserSettingsDirectory(const QString &appName)
{
    const QString name = SanitizeFileName(appName);
    const QString folder = XdgUserFolder(XdgBase::Config, name);
    return folder.isEmpty() ? name + u'/' : folder;
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

bool IsPandocFormatName(const QString &value)
{
    const auto isLetter = [](QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); };
    if (value.isEmpty() || !isLetter(value.front()))
        return false;
    for (const QChar c : value) {
        if (!isLetter(c) && !(c >= u'0' && c <= u'9') && c != u'_' && c != u'+' && c != u'-')
            return false;
    }
    return true;
}

namespace {

// The value as a note may show it: control characters as "?", and no longer than a
// status line has room for.
QString shownValue(const QString &value)
{
    constexpr qsizetype kLongest = 60;
    QString shown = value.left(kLongest);
    for (QChar &c : shown) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format
            || c.category() == QChar::Separator_Line || c.category() == QChar::Separator_Paragraph)
            c = u'?';
    }
    if (value.size() > kLongest)
        shown += QStringLiteral("...");
    return shown;
}

QString formatNameNote(const char *key, const QString &value, const QString &fallback)
{
    if (IsPandocFormatName(value))
        return QString();
    return QStringLiteral("The %1 '%2' in %3 is not a Pandoc format; using %4.")
        .arg(QLatin1String(key), shownValue(value), QLatin1String(kSettingsFileName), fallback);
}

} // namespace

QString MarkdownVersionNote(const QString &value)
{
    return formatNameNote("MarkdownVersion", value, Settings().MarkdownVersion);
}

int HeldToRule(SettingRule rule, int value, int)
{
    if (rule == SettingRule::Flag)
        return value != 0 ? 1 : 0;
    return value;
}

QString HeldToRule(SettingRule rule, const QString &value, const QString &fallback)
{
    if (rule == SettingRule::FormatName && !IsPandocFormatName(value))
        return fallback;
    return value;
}

namespace {

void readValue(const QString &raw, SettingRule rule, int &target, const char *, QStringList &)
{
    target = HeldToRule(rule, parseLeadingInteger(trimBlanks(raw)), target);
}

void readValue(const QString &raw, SettingRule rule, QString &target, const char *key, QStringList &notes)
{
    const QString value = trimBlanks(raw);
    if (rule == SettingRule::FormatName) {
        const QString note = formatNameNote(key, value, target);
        if (!note.isEmpty()) {
            notes << note;
            return;   // the default stays
        }
    }
    target = value;
}

void writeValue(QByteArray &out, const char *key, const QString &value)
{
    // A line break inside a value (a folder may have one in its name) would start a line
    // of its own, read back as a key of its choosing: such a value is left empty.
    const bool breaks = value.contains(u'\r') || value.contains(u'\n');
    out += QByteArray(key) + " = " + (breaks ? QByteArray() : value.toUtf8()) + "\r\n";
}

void writeComment(QByteArray &out, const QString &text)
{
    out += "; " + text.toUtf8() + "\r\n";
}

// Values are written held to their rules, as they would be read back: a record filled in
// by hand cannot put into the file what reading it would refuse.
void writeValue(QByteArray &out, const char *key, SettingRule rule, int value, int fallback)
{
    if (rule == SettingRule::CentreOnce)
        value = 0;
    writeValue(out, key, QString::number(HeldToRule(rule, value, fallback)));
}

void writeValue(QByteArray &out, const char *key, SettingRule rule, const QString &value, const QString &fallback)
{
    writeValue(out, key, HeldToRule(rule, value, fallback));
    if (rule == SettingRule::FormatName)
        writeComment(out, QStringLiteral("%1 = markdown_strict markdown markdown_mmd markdown_phpextra gfm markdown_github")
                              .arg(QLatin1String(key)));
}

} // namespace

ParsedSettings ParseSettingsWithNotes(const QByteArray &bytes)
{
    const QHash<QString, QString> values = readValues(bytes);
    ParsedSettings parsed;
    Settings &s = parsed.values;
#define QUILLDOWN_READ_SETTING(type, name, initial, rule)                                    \
    if (const auto it = values.constFind(QStringLiteral(#name).toLower()); it != values.constEnd()) \
        readValue(*it, rule, s.name, #name, parsed.notes);
    QUILLDOWN_SETTINGS(QUILLDOWN_READ_SETTING)
#undef QUILLDOWN_READ_SETTING
    return parsed;
}

Settings ParseSettings(const QByteArray &bytes)
{
    return ParseSettingsWithNotes(bytes).values;
}

QByteArray FormatSettings(const Settings &s, const QDateTime &savedAt)
{
    QByteArray out("\xEF\xBB\xBF\r\n");
    writeComment(out, QStringLiteral("Quilldown 1.7"));
    writeComment(out, savedAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
#define QUILLDOWN_WRITE_SETTING(type, name, initial, rule) writeValue(out, #name, rule, s.name, type(initial));
    QUILLDOWN_SETTINGS(QUILLDOWN_WRITE_SETTING)
#undef QUILLDOWN_WRITE_SETTING
    return out;
}

ParsedSettings ReadSettingsFileWithNotes(const QString &path)
{
    // Nothing read (a missing file, a pipe, a folder) parses to the defaults.
    return ParseSettingsWithNotes(ReadTextFile(path));
}

Settings ReadSettingsFile(const QString &path)
{
    return ReadSettingsFileWithNotes(path).values;
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

ParsedSettings LoadSettingsWithNotes(const SettingsLocation &location)
{
    return ReadSettingsFileWithNotes(SettingsFilePath(location, false));
}

Settings LoadSettings(const SettingsLocation &location)
{
    return LoadSettingsWithNotes(location).values;
}

bool SaveSettings(const SettingsLocation &location, const Settings &settings)
{
    return WriteSettingsFile(SettingsFilePath(location, true), settings);
}
