#include "conversion/ConverterProcess.h"

#include "core/AppState.h"
#include "conversion/ConverterLocation.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <algorithm>
#include <atomic>
#include <csignal>
#include <unistd.h>

namespace {
std::atomic<int> timeLimit{60000};

int quarterOfMemory()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return 2048;
    const long long megabytes = static_cast<long long>(pages) * pageSize / (1024 * 1024);
    return static_cast<int>(std::max<long long>(512, megabytes / 4));
}

std::atomic<int> memoryLimit{quarterOfMemory()};
}

int ConverterMemoryLimit()
{
    return memoryLimit.load();
}

void SetConverterMemoryLimit(int megabytes)
{
    memoryLimit = megabytes;
}

QByteArray HeapBoundOptions(const QByteArray &existing, int megabytes)
{
    // Pandoc's garbage collector takes about half its time with the runtime's default
    // allocation area; a larger one, with an old generation that starts larger, took 3 to
    // 10 % of the CPU time off a run (paired runs on 36 KB and 1 MB documents), with
    // memory within a few MiB. Larger areas were slower. They come first, so that the user's own
    // options win; the runtime takes the last of each it reads, so our -M goes last.
    QByteArray options = "-A4m -O64m";
    const QByteArray kept = existing.trimmed();
    if (!kept.isEmpty())
        options += ' ' + kept;
    if (megabytes > 0)
        options += " -M" + QByteArray::number(megabytes) + 'm';
    return options;
}

int ConverterTimeLimit()
{
    return timeLimit.load();
}

void SetConverterTimeLimit(int milliseconds)
{
    timeLimit = milliseconds;
}

ProcessOutcome RunProcess(const QString &program, const QStringList &arguments, const QString &workingFolder,
                          const std::function<bool()> &overtaken)
{
    ProcessOutcome outcome;
    // A bare name is looked up in PATH only: the system's exec would otherwise fall back
    // to a file of that name in the working folder. A relative path is taken from the
    // current folder, as the probe sees it, not from the document's folder.
    QString executable = program;
    if (executable.isEmpty())
        return outcome;
    if (!executable.contains(u'/')) {
        executable = FindInSearchPath(executable);
        if (executable.isEmpty())
            return outcome;
    } else if (!executable.startsWith(u'/')) {
        executable = QFileInfo(executable).absoluteFilePath();
    }
    QProcess process;
    process.setProgram(executable);
    process.setArguments(arguments);
    if (!workingFolder.isEmpty())
        process.setWorkingDirectory(workingFolder);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    // Pandoc's runtime reads its heap bound from GHCRTS: a document that would take all
    // the machine's memory ends the run instead. An address-space limit would not do,
    // because the runtime reserves far more address space than it uses.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("GHCRTS"),
                       QString::fromLocal8Bit(HeapBoundOptions(
                           environment.value(QStringLiteral("GHCRTS")).toLocal8Bit(), ConverterMemoryLimit())));
    process.setProcessEnvironment(environment);
    // A group of its own, so that stopping it also stops what it started (the real
    // converter behind a wrapper script, a filter).
    process.setChildProcessModifier([] { ::setpgid(0, 0); });
    process.start();
    if (!process.waitForStarted(-1))
        return outcome;
    outcome.started = true;

    QElapsedTimer clock;
    clock.start();
    // Short waits so that the quit flag and the limit are seen promptly; the wait itself
    // returns as soon as the process ends.
    while (!process.waitForFinished(20)) {
        if (process.state() == QProcess::NotRunning)
            break;
        const bool quitting = app().quit.load() != 0 || (overtaken && overtaken());
        if (quitting || clock.elapsed() >= ConverterTimeLimit()) {
            (quitting ? outcome.stopped : outcome.timedOut) = true;
            if (process.processId() > 0)
                ::kill(-pid_t(process.processId()), SIGKILL);
            process.kill();
            process.waitForFinished(10000);
            break;
        }
    }
    outcome.errorOutput = process.readAllStandardError();
    outcome.crashed = process.exitStatus() == QProcess::CrashExit;
    outcome.exitCode = process.exitCode();
    return outcome;
}
