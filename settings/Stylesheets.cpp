#include "settings/Stylesheets.h"

#include "files/XdgFolders.h"
#include "settings/Paths.h"
#include "settings/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <unistd.h>

QString UserDataDirectory(const QString &appName)
{
    const QString name = SanitizeFileName(appName);
    const QString folder = XdgUserFolder(XdgBase::Data, name);
    return folder.isEmpty() ? name + u'/' : folder;
}

bool LibraryBesideExecutable(const QString &baseDirectory, bool portable)
{
    // An installed program cannot write beside itself; it keeps its library per user.
    return portable || ::access(QFile::encodeName(baseDirectory).constData(), W_OK) == 0;
}

QString StylesheetFolder(const SettingsLocation &location)
{
    const QString base = BaseDirectory();
    if (LibraryBesideExecutable(base, location.Portable))
        return base + QStringLiteral("css/");
    return UserDataDirectory(QStringLiteral("Quilldown")) + QStringLiteral("css/");
}

QString DefaultStylesheetPath(const SettingsLocation &location)
{
    return StylesheetFolder(location) + QStringLiteral("air.css");
}

// The resource file is compiled into a static library, so it must be registered by hand.
static void registerResources()
{
    Q_INIT_RESOURCE(resources);
}

QByteArray DefaultStylesheetText()
{
    registerResources();
    QFile resource(QStringLiteral(":/air.css"));
    if (!resource.open(QIODevice::ReadOnly))
        return QByteArray();
    return resource.readAll();
}

QStringList ListStylesheets(const QString &folder)
{
    // Folders named like a stylesheet are listed too; choosing one does nothing.
    QStringList names = QDir(folder).entryList({QStringLiteral("*.css")},
                                               QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                                               QDir::Unsorted);
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    return names;
}

std::optional<QStringList> PrepareStylesheetFolder(const SettingsLocation &location)
{
    const QString folder = StylesheetFolder(location);
    // Beside the executable only the css folder itself is made; the per-user data
    // folder may not exist yet on a fresh account.
    if (!QFileInfo::exists(folder))
        CreateDirectoryPath(folder);
    const QString path = DefaultStylesheetPath(location);
    // Anything already there, even an empty or edited file, is left alone.
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink()) {
        QFile file(path);
        if (file.open(QIODevice::NewOnly)) {
            const QByteArray text = DefaultStylesheetText();
            if (file.write(text) != text.size() || !file.flush()) {
                // A half-written default would be kept forever; leave nothing behind.
                file.close();
                file.remove();
            }
        }
    }
    const QFileInfo info(path);
    if (!info.isFile() || info.size() <= 0)
        return std::nullopt;
    return ListStylesheets(folder);
}
