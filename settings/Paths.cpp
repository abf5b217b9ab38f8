#include "settings/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QMutex>

namespace {
QMutex overrideLock;
QString baseOverride;
}

QString BaseDirectory()
{
    {
        QMutexLocker locker(&overrideLock);
        if (!baseOverride.isEmpty())
            return baseOverride;
    }
    return WithTrailingSlash(QCoreApplication::applicationDirPath());
}

void SetBaseDirectoryOverride(const QString &folder)
{
    QMutexLocker locker(&overrideLock);
    baseOverride = WithTrailingSlash(folder);
}

QString SanitizeFileName(const QString &name)
{
    static const QString forbidden = QStringLiteral("<>\\/:*?|\"");
    QString result = name;
    for (QChar &c : result) {
        if (forbidden.contains(c))
            c = u'_';
    }
    return result;
}

QString WithTrailingSlash(const QString &path)
{
    if (path.isEmpty())
        return path;
    qsizetype end = path.size();
    while (end > 0 && path.at(end - 1) == u'/')
        --end;
    return path.left(end) + u'/';
}

bool CreateDirectoryPath(const QString &path)
{
    if (path.isEmpty())
        return true;
    const QFileInfo info(path);
    if (info.isDir())
        return true;
    if (info.exists())
        return false;
    QString trimmed = path;
    while (trimmed.endsWith(u'/'))
        trimmed.chop(1);
    if (!CreateDirectoryPath(FolderPart(trimmed)))
        return false;
    return QDir().mkdir(path);
}

bool IsAbsolutePath(const QString &path)
{
    return path.startsWith(u'/');
}

QString CurrentFolder()
{
    return WithTrailingSlash(QDir::currentPath());
}

QString AsUriReference(QString path)
{
    return path.replace(u'%', QStringLiteral("%25")).replace(u'#', QStringLiteral("%23")).replace(u'?', QStringLiteral("%3F"));
}

QString ResolvePath(const QString &path, const QString &base)
{
    if (path.isEmpty())
        return QString();
    if (IsAbsolutePath(path))
        return path;
    QString result = (base.isEmpty() ? CurrentFolder() : WithTrailingSlash(base)) + path;
    // "./" steps vanish; ".." steps and doubled separators are kept as written.
    for (qsizetype at = result.indexOf(QLatin1String("/./")); at >= 0;
         at = result.indexOf(QLatin1String("/./")))
        result.replace(at, 3, QStringLiteral("/"));
    return result;
}

QString FirstFileMatching(const QString &pattern, const QString &folder)
{
    const QString dir = folder.isEmpty() ? CurrentFolder() : folder;
    QDirIterator it(dir, QStringList{pattern}, QDir::Files | QDir::Hidden | QDir::System);
    if (!it.hasNext())
        return QString();
    it.next();
    return WithTrailingSlash(dir) + it.fileName();
}
