#pragma once
// Recovery copies of unsaved text: what one holds, how it is written to and read from its
// file, where the files live, and whether the process that wrote one still runs. Plain
// code without widgets; the program decides elsewhere when to write, ask and restore.

#include <QByteArray>
#include <QDateTime>
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
