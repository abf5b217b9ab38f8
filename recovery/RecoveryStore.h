#pragma once
// Recovery copies of unsaved text: what one holds, how it is written to and read from its
// file, where the files live, and whether the process that wrote one still runs. Plain
// code without widgets; the program decides elsewhere when to write, ask and restore.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

struct RecoveryCopy {
    QByteArray markdown;     // the Markdown editor's bytes, as Save would write them
    QByteArray head;         // the head editor's bytes
    QString documentPath;    // empty for a document never saved
    QDateTime savedAt;       // when the copy was taken (UTC)
    qint64 pid = 0;
    // Boot and start time of that process, so a later process given the same id is not
    // taken for it; empty where the system does not tell.
    QByteArray processIdentity;
    // The machine the process ran on (HostIdentity()); empty in copies of older versions,
    // which are taken to be of this machine.
    QByteArray host;
};

enum class RecoveryRead { Ok, Missing, Damaged };

inline constexpr const char *kRecoverySuffix = ".recovery";
inline constexpr const char *kDamagedSuffix = ".damaged";

// The file's bytes: a header of named lines, each text field preceded by its length, and
// a checksum over everything before it.
QByteArray FormatRecoveryCopy(const RecoveryCopy &copy);
// Ok and the fields filled, or Damaged with a short reason ("cut short", ...).
RecoveryRead ParseRecoveryCopy(const QByteArray &bytes, RecoveryCopy *copy, QString *reason);

// Missing when there is no such regular file (or it cannot be opened).
RecoveryRead ReadRecoveryFile(const QString &path, RecoveryCopy *copy, QString *reason);
// Replaces `path` whole or not at all, the data on disk before the name points at it;
// creates the folder (private to the user) when needed.
bool WriteRecoveryFile(const QString &path, const QByteArray &bytes);

// $XDG_STATE_HOME/Quilldown/recovery/, else ~/.local/state/Quilldown/recovery/, or
// "recovery/" in the executable's folder in portable mode; ends in "/". Empty when no
// absolute folder can be named (then no copies are kept).
QString RecoveryFolder(bool portable, const QString &baseDirectory);
// The copies in `folder`, newest first; temporary and set-aside files are left out.
QStringList ListRecoveryCopies(const QString &folder);

// Who this process is, as stored in its copies.
QByteArray ProcessIdentity(qint64 pid);
// Whether the process that wrote a copy still runs (a reused id does not count).
bool ProcessIsRunning(qint64 pid, const QByteArray &identity);

// This machine: its machine id (/etc/machine-id), else its host name. Home folders may be
// shared between machines, and a process id says nothing about another machine's processes.
QByteArray HostIdentity();
// Whether the copy's writer may still be at work: running here, or on another machine,
// where this one cannot look (such a copy is left to that machine).
bool CopyOwnerMayBeRunning(const RecoveryCopy &copy);

// Whether the copy holds nothing that is not on disk: its text is what opening its
// document shows now (the file and its head file; a file that does not exist reads as
// empty, a missing head file as `headWithoutFile`). An untitled copy holds nothing when
// both texts are those of a new document. False when a file cannot be read.
bool CopyMatchesFiles(const RecoveryCopy &copy, const QByteArray &headWithoutFile);
// Whether the document's file or its head file was modified after the copy was taken.
bool FilesChangedSince(const RecoveryCopy &copy);

// Removes the hidden files of writes cut short (a kill mid-write) older than `age`
// seconds at `now`; returns how many went.
int RemoveStaleTemporaryCopies(const QString &folder, const QDateTime &now, qint64 ageSeconds = 24 * 60 * 60);

// One warning for the damaged copies found at a start: each copy's file name, why it
// cannot be read and where it is kept now.
struct DamagedCopy {
    QString path;     // the copy's name when found
    QString reason;
    QString keptAs;   // where it lies now (path itself when it could not be set aside)
};
QString DamagedCopiesMessage(const QList<DamagedCopy> &damaged);
