#pragma once
// Running the converter as a child process: argument list, working folder, no shell,
// a time limit, and an early end when the program quits.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

struct ProcessOutcome {
    bool started = false;     // the program could be started
    bool timedOut = false;    // killed at the time limit
    bool stopped = false;     // killed because the program is quitting or the run was overtaken
    bool crashed = false;     // ended by a signal
    int exitCode = -1;
    QByteArray errorOutput;   // what it wrote to its standard error

};

// The longest a converter run may take before it is killed; 60 s unless changed.
int ConverterTimeLimit();
void SetConverterTimeLimit(int milliseconds);

// The heap a converter run may take, in megabytes: a quarter of the machine's memory
// unless changed (0 = no bound).
int ConverterMemoryLimit();
void SetConverterMemoryLimit(int megabytes);
// The GHCRTS value that bounds the heap to `megabytes`, keeping the options in `existing`.
QByteArray HeapBoundOptions(const QByteArray &existing, int megabytes);

// Starts `program` with `arguments` in `workingFolder` ("" = the current folder), with no
// input, and waits until it ends, the time limit passes, the quit flag is set or
// `overtaken` (polled every 20 ms) answers true. The heap bound is in its environment.
ProcessOutcome RunProcess(const QString &program, const QStringList &arguments, const QString &workingFolder,
                          const std::function<bool()> &overtaken = {});
