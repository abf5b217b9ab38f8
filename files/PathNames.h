#pragma once
// The parts of a path's name. Folder part + file part gives the path back.

#include <QString>

QString FolderPart(const QString &path);     // up to and including the last "/"; "" without one
QString FilePart(const QString &path);       // after the last "/"; the whole path without one
QString ExtensionPart(const QString &path);  // after the file part's last "."; see the .cpp
