#pragma once
// Path helpers. Folder paths produced here end in exactly one "/" (the empty text stays
// empty), and folder part + file part gives the path back.

#include "files/PathNames.h"

#include <QString>

// Folder of the running executable, ending in "/".
QString BaseDirectory();
// Lets tests and the benchmark pretend the executable lives elsewhere ("" to undo).
void SetBaseDirectoryOverride(const QString &folder);

QString SanitizeFileName(const QString &name);
QString WithTrailingSlash(const QString &path);
bool CreateDirectoryPath(const QString &path);
bool IsAbsolutePath(const QString &path);
QString ResolvePath(const QString &path, const QString &base);
// A path written where a URI reference is read (an HTML link, Pandoc's -H): "%", "#"
// and "?" escaped, which would otherwise decode, end the path or start a query.
QString AsUriReference(QString path);
QString FirstFileMatching(const QString &pattern, const QString &folder);
// The current working folder, ending in "/".
QString CurrentFolder();
