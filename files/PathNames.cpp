#include "files/PathNames.h"

QString FolderPart(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? QString() : path.left(slash + 1);
}

QString FilePart(const QString &path)
{
    return path.mid(path.lastIndexOf(u'/') + 1);
}

// No extension when the file part has no dot, starts with its only dot (".profile"),
// or has a blank after its last dot ("v1. draft").
QString ExtensionPart(const QString &path)
{
    const QString file = FilePart(path);
    const qsizetype dot = file.lastIndexOf(u'.');
    if (dot <= 0)
        return QString();
    const QString extension = file.mid(dot + 1);
    if (extension.contains(u' '))
        return QString();
    return extension;
}
