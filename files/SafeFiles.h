#pragma once
// Files the program makes beside a document that may not be ours: a folder from a download
// or a cloned repository can hold links, pipes or devices at any name we write. These
// helpers never write through a link or into anything but a plain file, and never open
// a file that could block.

#include <QByteArray>
#include <QString>

// True when `path` (after links) is a regular file: not a folder, pipe, device or socket.
bool IsRegularFile(const QString &path);

// Writes `bytes` as a plain file at `path`. A link, pipe, device, socket or file with
// other hard links at that name is removed first (the link itself, never its target)
// and a new file takes its place. False when no plain file can be written there (a
// folder has the name, the folder takes no files, the disk is full).
bool WritePlainFile(const QByteArray &bytes, const QString &path);

// Copies the regular file `source` to a plain file at `copy` (as WritePlainFile).
bool CopyToPlainFile(const QString &source, const QString &copy);

// An unused hidden name beside `path` for a file that is then moved into place.
QString FreshNameBeside(const QString &path);

// Renames `fresh` to `path`, which replaces a link or special file at `path` itself. An
// existing regular file keeps its permissions; one the user may not write is left as
// it is (false), as is a folder. `fresh` is removed when it cannot be moved.
bool MoveIntoPlace(const QString &fresh, const QString &path);

// Remembers the file now at `path` as one the program made, so that only that very file
// is removed at exit: a file saved under the same name later is someone else's.
void RememberMadeFile(const QString &path);
bool IsFileWeMade(const QString &path);
void ForgetMadeFiles();

// A new random value for the preview's script nonce.
QByteArray NewScriptNonce();
