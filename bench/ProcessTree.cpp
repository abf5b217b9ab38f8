#include "ProcessTree.h"

#include <QDir>
#include <QFile>
#include <unistd.h>

namespace {

// The fields of /proc/<pid>/stat after the command name, which may hold blanks.
QList<QByteArray> statFields(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray stat = file.readAll();
    return stat.mid(stat.lastIndexOf(')') + 2).split(' ');
}

} // namespace

QList<qint64> ProcessFamily(qint64 root)
{
    QList<qint64> family{root};
    QList<QPair<qint64, qint64>> all;   // pid, parent
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool ok = false;
        const qint64 pid = entry.toLongLong(&ok);
        if (ok)
            all.append({pid, statFields(pid).value(1).toLongLong()});
    }
    for (bool grew = true; grew;) {
        grew = false;
        for (const auto &[pid, parent] : all) {
            if (!family.contains(pid) && family.contains(parent)) {
                family.append(pid);
                grew = true;
            }
        }
    }
    return family;
}

qint64 TotalPssKiB(const QList<qint64> &pids)
{
    qint64 total = 0;
    for (qint64 pid : pids) {
        QFile file(QStringLiteral("/proc/%1/smaps_rollup").arg(pid));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : file.readAll().split('\n'))
            if (line.startsWith("Pss:"))
                total += line.mid(4).trimmed().split(' ').value(0).toLongLong();
    }
    return total;
}

qint64 TotalCpuTicks(const QList<qint64> &pids)
{
    qint64 total = 0;
    for (qint64 pid : pids) {
        const QList<QByteArray> fields = statFields(pid);
        // utime and stime are fields 14 and 15 of the whole line, 12 and 13 here.
        total += fields.value(11).toLongLong() + fields.value(12).toLongLong();
    }
    return total;
}

long CpuTicksPerSecond()
{
    return sysconf(_SC_CLK_TCK);
}
