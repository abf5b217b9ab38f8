#pragma once
// The stylesheet library: the css folder, its default air.css and the menu list.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

struct SettingsLocation;

// Beside the executable (portable or writable program folder), else in the per-user
// data folder; ending in "/".
QString StylesheetFolder(const SettingsLocation &location);
QString DefaultStylesheetPath(const SettingsLocation &location);  // the library's air.css
QByteArray DefaultStylesheetText();                                // the bytes written as air.css

// The XDG data folder (files/XdgFolders), then the application's name and "/"; without
// one, that name relative to the current folder.
QString UserDataDirectory(const QString &appName);
// Whether the library lives beside the executable in `baseDirectory`.
bool LibraryBesideExecutable(const QString &baseDirectory, bool portable);
// Names of the "*.css" entries of `folder` (folders included), sorted ignoring case.
QStringList ListStylesheets(const QString &folder);

// Makes the folder and its air.css when missing; the names to list in the menu, none
// when the default stylesheet is missing or empty.
std::optional<QStringList> PrepareStylesheetFolder(const SettingsLocation &location);
