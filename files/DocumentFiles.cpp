#include "files/DocumentFiles.h"

#include "files/PathNames.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

bool IsReadableFile(const QString &path)
{
    // Only regular files: reading a pipe or a device could block or never end.
    if (!QFileInfo(path).isFile())
        return false;
    QFile file(path);
    return file.open(QIODevice::ReadOnly);
}

QByteArray ReadTextFile(const QString &path)
{
    // Regular files only: opening a pipe would wait for a writer, a device might never end.
    if (!QFileInfo(path).isFile())
        return QByteArray();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

bool WriteTextFile(const QByteArray &bytes, const QString &path)
{
    if (path.isEmpty())
        return false;
    // A device or pipe (perhaps behind a link) is no document: replacing it would put a
    // plain file in place of the device, and writing into it could fail unseen or block.
    const QFileInfo existing(path);
    if (existing.exists() && !existing.isFile())
        return false;
    QSaveFile file(path);
    // A writable file in a folder that takes no new files is still written, in place.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        file.commit();
        return false;
    }
    return file.commit();
}

QString ReplaceExtension(const QString &path, const QString &extension)
{
    if (path.isEmpty())
        return QString();
    QString file = FilePart(path);
    const qsizetype dot = file.lastIndexOf(u'.');
    if (dot >= 0)
        file.truncate(dot);
    QString result = FolderPart(path) + file;
    if (!extension.isEmpty())
        result += u'.' + extension;
    return result;
}

QString HtmlFileFor(const QString &path)
{
    return ReplaceExtension(path, QStringLiteral("htm"));
}

QString HeadFileFor(const QString &path)
{
    return ReplaceExtension(path, QStringLiteral("head.txt"));
}
