#pragma once
// A document's own files: reading and replacing them, and the names of the files that go
// beside it (the exported page, the head fragment).

#include <QByteArray>
#include <QString>

// Whether `path` is a regular file that can be opened for reading.
bool IsReadableFile(const QString &path);
// The file's bytes, unchanged, or empty when it cannot be read.
QByteArray ReadTextFile(const QString &path);

// Replaces `path` atomically with `bytes` (written beside it, then renamed; an existing
// file keeps its permissions, a symbolic link keeps pointing at its target, which gets
// the new content). False when the file cannot be written; the old one then stays.
bool WriteTextFile(const QByteArray &bytes, const QString &path);

QString ReplaceExtension(const QString &path, const QString &extension);
QString HtmlFileFor(const QString &path);
QString HeadFileFor(const QString &path);
