#include "files/SafeFiles.h"

#include <QFile>
#include <QHash>
#include <QMutex>
#include <QRandomGenerator>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct Identity {
    dev_t device;
    ino_t inode;
};

QMutex madeLock;
QHash<QString, Identity> madeFiles;

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

// Makes room for a plain file at `name`: what is there must be a regular file with no
// other names, else it goes (a link goes itself; its target is never touched).
bool clearForPlainFile(const QByteArray &name)
{
    struct stat info;
    if (::lstat(name.constData(), &info) != 0)
        return errno == ENOENT;
    if (S_ISDIR(info.st_mode))
        return false;
    if (S_ISREG(info.st_mode) && info.st_nlink == 1)
        return true;
    return ::unlink(name.constData()) == 0;
}

} // namespace

bool IsRegularFile(const QString &path)
{
    if (path.isEmpty())
        return false;
    struct stat info;
    return ::stat(encoded(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

bool WritePlainFile(const QByteArray &bytes, const QString &path)
{
    if (path.isEmpty())
        return false;
    const QByteArray name = encoded(path);
    if (!clearForPlainFile(name))
        return false;
    // No following a link that appeared meanwhile, no waiting on a pipe.
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        return false;
    struct stat info;
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink == 1 && ::ftruncate(fd, 0) == 0;
    qsizetype done = 0;
    while (ok && done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            ok = false;
        else
            done += written;
    }
    if (::close(fd) != 0)
        ok = false;
    return ok;
}

bool CopyToPlainFile(const QString &source, const QString &copy)
{
    if (!IsRegularFile(source))
        return false;
    QFile file(source);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    return WritePlainFile(bytes, copy);
}

QString FreshNameBeside(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const QString folder = path.left(slash + 1);
    const QString name = path.mid(slash + 1);
    for (;;) {
        const QString candidate = folder + u'.' + name + u'.' +
                                  QString::number(QRandomGenerator::global()->generate64(), 36) +
                                  QStringLiteral(".part");
        struct stat info;
        if (::lstat(encoded(candidate).constData(), &info) != 0 && errno == ENOENT)
            return candidate;
    }
}

bool MoveIntoPlace(const QString &fresh, const QString &path)
{
    const QByteArray from = encoded(fresh);
    const QByteArray to = encoded(path);
    struct stat info;
    bool ok = true;
    if (::lstat(to.constData(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            ok = false;
        else if (S_ISREG(info.st_mode))
            ok = ::access(to.constData(), W_OK) == 0 && ::chmod(from.constData(), info.st_mode & 07777) == 0;
    }
    if (ok && ::rename(from.constData(), to.constData()) == 0)
        return true;
    ::unlink(from.constData());
    return false;
}

void RememberMadeFile(const QString &path)
{
    struct stat info;
    if (::lstat(encoded(path).constData(), &info) != 0)
        return;
    QMutexLocker locker(&madeLock);
    madeFiles.insert(path, Identity{info.st_dev, info.st_ino});
}

bool IsFileWeMade(const QString &path)
{
    struct stat info;
    if (::lstat(encoded(path).constData(), &info) != 0)
        return false;
    QMutexLocker locker(&madeLock);
    const auto it = madeFiles.constFind(path);
    return it != madeFiles.constEnd() && it->device == info.st_dev && it->inode == info.st_ino;
}

void ForgetMadeFiles()
{
    QMutexLocker locker(&madeLock);
    madeFiles.clear();
}

QByteArray NewScriptNonce()
{
    quint32 words[6];
    QRandomGenerator::system()->fillRange(words);
    return QByteArray(reinterpret_cast<const char *>(words), sizeof(words)).toBase64(QByteArray::OmitTrailingEquals);
}
