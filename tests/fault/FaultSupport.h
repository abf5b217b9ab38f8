#pragma once
// Helpers of the fault tests: fake converters, and file systems that really refuse
// writes, even to root (a read-only bind mount, a tiny tmpfs). Mounts are made in a
// mount namespace of the test's own, entered before any thread starts, so they vanish
// with the test process whatever happens to it.

#include "common/TestSupport.h"

#include <QFile>
#include <QString>
#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>

namespace fault {

inline bool &privateMounts()
{
    static bool available = false;
    return available;
}

// Call first thing in main(), while the process still has one thread.
inline void enterPrivateMountNamespace()
{
    privateMounts() = geteuid() == 0 && ::unshare(CLONE_NEWNS) == 0 &&
                      ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

inline QString makeScript(const QString &path, const QByteArray &body)
{
    writeFileBytes(path, "#!/bin/sh\n" + body);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                    QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    return path;
}

// A path quoted for the shell.
inline QByteArray shellQuoted(const QString &path)
{
    return '\'' + path.toUtf8().replace("'", "'\\''") + '\'';
}

// Makes an existing folder read-only for everyone, root included.
inline bool makeReadOnly(const QString &folder)
{
    const QByteArray path = QFile::encodeName(folder);
    return ::mount(path.constData(), path.constData(), nullptr, MS_BIND, nullptr) == 0 &&
           ::mount(nullptr, path.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
}

// Mounts an empty tmpfs of `kilobytes` on an existing folder.
inline bool mountTinyFileSystem(const QString &folder, int kilobytes)
{
    const QByteArray options = "size=" + QByteArray::number(kilobytes) + "k";
    return ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, options.constData()) == 0;
}

inline void unmount(const QString &folder)
{
    ::umount2(QFile::encodeName(folder).constData(), MNT_DETACH);
}

// Unmounts when it goes out of scope, so a failed check leaves no mount behind.
class MountGuard {
public:
    explicit MountGuard(const QString &folder) : folder_(folder) {}
    ~MountGuard() { unmount(folder_); }
    MountGuard(const MountGuard &) = delete;
    MountGuard &operator=(const MountGuard &) = delete;

private:
    QString folder_;
};

// Notices a program that opens `fifo` for reading (which would block it for good) and
// lets it go on by opening the writing end and closing it at once.
class PipeWatch {
public:
    explicit PipeWatch(const QString &fifo) : path_(QFile::encodeName(fifo))
    {
        thread_ = std::thread([this] {
            while (!stop_.load()) {
                const int fd = ::open(path_.constData(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0) {
                    readerSeen_ = true;
                    ::close(fd);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    }
    ~PipeWatch()
    {
        stop_ = true;
        thread_.join();
    }
    bool readerSeen() const { return readerSeen_.load(); }

private:
    QByteArray path_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> readerSeen_{false};
    std::thread thread_;
};

inline bool makeFifo(const QString &path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

} // namespace fault

// QUILLDOWN_TEST_MAIN with a private mount namespace first.
#define QUILLDOWN_FAULT_TEST_MAIN(TestClass) \
    QUILLDOWN_TEST_MAIN_WITH(TestClass, fault::enterPrivateMountNamespace())
