#pragma once
// Figures about a process and everything it started (WebEngine's helper processes),
// read from /proc.

#include <QList>

// `root` and every process descended from it.
QList<qint64> ProcessFamily(qint64 root);
// Proportional set size in KiB, summed over the processes.
qint64 TotalPssKiB(const QList<qint64> &pids);
// User plus system CPU time in clock ticks, summed over the processes.
qint64 TotalCpuTicks(const QList<qint64> &pids);
// Clock ticks per second (for TotalCpuTicks).
long CpuTicksPerSecond();
