#include "recovery/RecoveryStore.h"

#include "files/DocumentFiles.h"
#include "files/PathNames.h"
#include "files/XdgFolders.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kMagic = QByteArrayLiteral("Quilldown recovery copy 1\n");
const QByteArray kChecksumKey = QByteArrayLiteral("blake2b ");
// Guards against damage, not against forgery; among the sums Qt offers, a quick one.
constexpr auto kChecksum = QCryptographicHash::Blake2b_256;
// Far beyond any text the editors hold; a bigger file is no copy of ours.
constexpr qint64 kLargestCopy = qint64(1) << 30;

void appendBlob(QByteArray &out, const char *key, const QByteArray &bytes)
{
    out += key;
    out += ' ';
    out += QByteArray::number(bytes.size());
    out += '\n';
    out += bytes;
    out += '\n';
}

// Reads a copy front to back; any step that fails leaves a reason.
class Reader {
public:
    explicit Reader(const QByteArray &bytes) : bytes_(bytes) {}

    // The value of a line "key value\n".
    bool line(const char *key, QByteArray *value)
    {
        const QByteArray prefix = QByteArray(key) + ' ';
        const qsizetype end = bytes_.indexOf('\n', pos_);
        if (end < 0)
            return fail(QStringLiteral("cut short"));
        const QByteArray text = bytes_.mid(pos_, end - pos_);
        if (!text.startsWith(prefix))
            return fail(QStringLiteral("'%1' missing").arg(QLatin1String(key)));
        *value = text.mid(prefix.size());
        pos_ = end + 1;
        return true;
    }

    // A line that copies of older versions do not have; absent, the value stays empty.
    bool optionalLine(const char *key, QByteArray *value)
    {
        if (!QByteArrayView(bytes_).sliced(pos_).startsWith(QByteArray(key) + ' '))
            return true;
        return line(key, value);
    }

    bool number(const char *key, qint64 *value)
    {
        QByteArray text;
        if (!line(key, &text))
            return false;
        bool ok = !text.isEmpty() && text.size() <= 18;
        for (const char c : text)
            ok = ok && c >= '0' && c <= '9';
        if (!ok)
            return fail(QStringLiteral("'%1' is not a number").arg(QLatin1String(key)));
        *value = text.toLongLong();
        return true;
    }

    bool blob(const char *key, QByteArray *value)
    {
        qint64 length = 0;
        if (!number(key, &length))
            return false;
        if (length + 1 > bytes_.size() - pos_)
            return fail(QStringLiteral("cut short"));
        if (bytes_.at(pos_ + length) != '\n')
            return fail(QStringLiteral("'%1' has the wrong length").arg(QLatin1String(key)));
        *value = bytes_.mid(pos_, length);
        pos_ += length + 1;
        return true;
    }

    qsizetype position() const { return pos_; }
    QString reason() const { return reason_; }
    bool fail(const QString &reason)
    {
        if (reason_.isEmpty())
            reason_ = reason;
        return false;
    }

private:
    const QByteArray &bytes_;
    qsizetype pos_ = 0;
    QString reason_;
};

bool writeAll(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        left -= n;
    }
    return true;
}

// Creates the missing folders of `path`, the new ones readable by the user alone: the
// copies hold whatever was typed.
bool makeFolders(const QString &path)
{
    const QByteArray native = QFile::encodeName(QDir::cleanPath(path));
    for (qsizetype i = 1; i <= native.size(); ++i) {
        if (i < native.size() && native.at(i) != '/')
            continue;
        const QByteArray part = native.left(i);
        if (::mkdir(part.constData(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    struct stat info {};
    return ::stat(native.constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

QByteArray readProcFile(const QByteArray &path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return QByteArray();
    QByteArray bytes;
    char buffer[1024];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || bytes.size() > 65536)
            break;
        bytes.append(buffer, n);
    }
    ::close(fd);
    return bytes;
}

// The fields of /proc/<pid>/stat after the command name, which may itself hold spaces.
QList<QByteArray> statFields(qint64 pid)
{
    const QByteArray stat = readProcFile("/proc/" + QByteArray::number(pid) + "/stat");
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0)
        return {};
    return stat.mid(close + 1).trimmed().split(' ');
}

} // namespace

QByteArray FormatRecoveryCopy(const RecoveryCopy &copy)
{
    QByteArray out;
    out.reserve(copy.markdown.size() + copy.head.size() + copy.documentPath.size() * 3 + 256);
    out += kMagic;
    out += "pid " + QByteArray::number(copy.pid) + '\n';
    out += "process " + copy.processIdentity.toHex() + '\n';
    // Left out when unknown, so that such a copy reads as one of an older version.
    if (!copy.host.isEmpty())
        out += "host " + copy.host.toHex() + '\n';
    out += "time " + copy.savedAt.toUTC().toString(Qt::ISODateWithMs).toLatin1() + '\n';
    appendBlob(out, "path", copy.documentPath.toUtf8());
    appendBlob(out, "markdown", copy.markdown);
    appendBlob(out, "head", copy.head);
    out += kChecksumKey + QCryptographicHash::hash(out, kChecksum).toHex() + '\n';
    return out;
}

RecoveryRead ParseRecoveryCopy(const QByteArray &bytes, RecoveryCopy *copy, QString *reason)
{
    auto damaged = [reason](const QString &why) {
        if (reason)
            *reason = why;
        return RecoveryRead::Damaged;
    };
    if (!bytes.startsWith(kMagic))
        return damaged(kMagic.startsWith(bytes) ? QStringLiteral("cut short")
                                                : QStringLiteral("not a Quilldown recovery copy"));
    Reader reader(bytes);
    QByteArray magic, process, host, time, path, checksum;
    RecoveryCopy result;
    const bool parsed = reader.line("Quilldown recovery copy", &magic) && reader.number("pid", &result.pid)
                        && reader.line("process", &process) && reader.optionalLine("host", &host)
                        && reader.line("time", &time)
                        && reader.blob("path", &path) && reader.blob("markdown", &result.markdown)
                        && reader.blob("head", &result.head);
    if (!parsed)
        return damaged(reader.reason());
    const qsizetype summed = reader.position();
    if (!reader.line("blake2b", &checksum))
        return damaged(reader.reason());
    if (reader.position() != bytes.size())
        return damaged(QStringLiteral("unexpected bytes at the end"));
    if (checksum != QCryptographicHash::hash(QByteArrayView(bytes).first(summed), kChecksum).toHex())
        return damaged(QStringLiteral("its checksum does not match"));
    result.processIdentity = QByteArray::fromHex(process);
    result.host = QByteArray::fromHex(host);
    result.savedAt = QDateTime::fromString(QString::fromLatin1(time), Qt::ISODateWithMs);
    if (!result.savedAt.isValid())
        return damaged(QStringLiteral("its time is not readable"));
    result.documentPath = QString::fromUtf8(path);
    if (copy)
        *copy = result;
    return RecoveryRead::Ok;
}

RecoveryRead ReadRecoveryFile(const QString &path, RecoveryCopy *copy, QString *reason)
{
    // Not through a link, and nothing that could block: a copy is a regular file we made.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return RecoveryRead::Missing;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return RecoveryRead::Missing;
    }
    if (info.st_size > kLargestCopy) {
        ::close(fd);
        if (reason)
            *reason = QStringLiteral("far too large");
        return RecoveryRead::Damaged;
    }
    QByteArray bytes;
    bytes.reserve(qsizetype(info.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || bytes.size() > kLargestCopy)
            break;
        bytes.append(buffer, n);
    }
    ::close(fd);
    return ParseRecoveryCopy(bytes, copy, reason);
}

bool WriteRecoveryFile(const QString &path, const QByteArray &bytes)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0 || !makeFolders(path.left(slash + 1)))
        return false;
    const QByteArray target = QFile::encodeName(path);
    // Hidden while incomplete, so that no reader ever takes it for a copy.
    QByteArray temporary = QFile::encodeName(path.left(slash + 1) + u'.' + path.mid(slash + 1)) + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = writeAll(fd, bytes) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temporary.constData(), target.constData()) == 0;
    if (!ok) {
        ::unlink(temporary.constData());
        return false;
    }
    // The new name itself reaches the disk, or a power cut could bring the old one back.
    const int folder = ::open(QFile::encodeName(path.left(slash + 1)).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}

QString RecoveryFolder(bool portable, const QString &baseDirectory)
{
    if (portable)
        return baseDirectory.isEmpty() ? QString() : QDir::cleanPath(baseDirectory) + QStringLiteral("/recovery/");
    // No state folder (no usable variable): no copies, rather than copies wherever we were started.
    const QString state = XdgUserFolder(XdgBase::State, QStringLiteral("Quilldown"));
    return state.isEmpty() ? QString() : state + QStringLiteral("recovery/");
}

QStringList ListRecoveryCopies(const QString &folder)
{
    if (folder.isEmpty())
        return {};
    const QDir dir(folder);
    QStringList paths;
    const QFileInfoList entries = dir.entryInfoList({QStringLiteral("*") + QLatin1String(kRecoverySuffix)},
                                                    QDir::Files | QDir::NoSymLinks, QDir::Time);
    for (const QFileInfo &entry : entries)
        paths.append(entry.absoluteFilePath());
    return paths;
}

QByteArray ProcessIdentity(qint64 pid)
{
    const QList<QByteArray> fields = statFields(pid);
    // The start time (in clock ticks after boot) is the 22nd field, the 20th after the name.
    if (fields.size() < 20)
        return QByteArray();
    const QByteArray boot = readProcFile("/proc/sys/kernel/random/boot_id").trimmed();
    return boot + ':' + fields.at(19);
}

bool ProcessIsRunning(qint64 pid, const QByteArray &identity)
{
    if (pid <= 0 || pid > INT_MAX)
        return false;
    if (::kill(pid_t(pid), 0) != 0 && errno != EPERM)
        return false;
    const QList<QByteArray> fields = statFields(pid);
    // A process that has ended but not yet been waited for is no longer running.
    if (!fields.isEmpty() && (fields.first() == "Z" || fields.first() == "X"))
        return false;
    if (identity.isEmpty())
        return true;
    const QByteArray now = ProcessIdentity(pid);
    // When the system cannot tell, the copy is left alone rather than offered twice.
    return now.isEmpty() || now == identity;
}

QByteArray HostIdentity()
{
    // Fixed for the life of the process, and asked for with every copy: read once.
    static const QByteArray host = [] {
        for (const char *file : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
            const QByteArray id = readProcFile(file).trimmed();
            if (!id.isEmpty())
                return "machine-id:" + id;
        }
        char name[256] = {};
        if (::gethostname(name, sizeof name - 1) == 0 && name[0] != '\0')
            return "hostname:" + QByteArray(name);
        return QByteArray();
    }();
    return host;
}

bool CopyOwnerMayBeRunning(const RecoveryCopy &copy)
{
    if (!copy.host.isEmpty() && copy.host != HostIdentity())
        return true;
    return ProcessIsRunning(copy.pid, copy.processIdentity);
}

namespace {

// Whether opening `path` shows `expected` as that file's text.
bool showsText(const QString &path, const QByteArray &expected, const QByteArray &whenMissing)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return expected == whenMissing;
    // A file that cannot be read may hold anything; one of another size is not read at all.
    if (!IsReadableFile(path) || info.size() != expected.size())
        return false;
    return ReadTextFile(path) == expected;
}

} // namespace

bool CopyMatchesFiles(const RecoveryCopy &copy, const QByteArray &headWithoutFile)
{
    if (copy.documentPath.isEmpty())
        return copy.markdown.isEmpty() && copy.head == headWithoutFile;
    return showsText(copy.documentPath, copy.markdown, QByteArray())
           && showsText(HeadFileFor(copy.documentPath), copy.head, headWithoutFile);
}

bool FilesChangedSince(const RecoveryCopy &copy)
{
    if (copy.documentPath.isEmpty() || !copy.savedAt.isValid())
        return false;
    for (const QString &path : {copy.documentPath, HeadFileFor(copy.documentPath)}) {
        const QFileInfo info(path);
        if (info.exists() && info.lastModified().toUTC() > copy.savedAt)
            return true;
    }
    return false;
}

int RemoveStaleTemporaryCopies(const QString &folder, const QDateTime &now, qint64 ageSeconds)
{
    if (folder.isEmpty())
        return 0;
    // WriteRecoveryFile's hidden names: ".<copy>.recovery.XXXXXX".
    const QString pattern = QStringLiteral(".*") + QLatin1String(kRecoverySuffix) + QStringLiteral(".??????");
    const QFileInfoList entries =
        QDir(folder).entryInfoList({pattern}, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    int removed = 0;
    for (const QFileInfo &entry : entries) {
        // One being written now is young; a day leaves any slow disk its time.
        if (entry.lastModified().secsTo(now) < ageSeconds)
            continue;
        if (::unlink(QFile::encodeName(entry.absoluteFilePath()).constData()) == 0)
            ++removed;
    }
    return removed;
}

QString DamagedCopiesMessage(const QList<DamagedCopy> &damaged)
{
    if (damaged.size() == 1) {
        const DamagedCopy &one = damaged.first();
        return QStringLiteral("The recovery copy '%1' is damaged (%2) and cannot be restored. It is kept as '%3'.")
            .arg(FilePart(one.path), one.reason, one.keptAs);
    }
    QString text = QStringLiteral("%1 recovery copies are damaged and cannot be restored:").arg(damaged.size());
    for (const DamagedCopy &one : damaged)
        text += QStringLiteral("\n'%1' (%2), kept as '%3'").arg(FilePart(one.path), one.reason, one.keptAs);
    return text;
}
