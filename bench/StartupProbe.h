#pragma once
// Measures how long a program takes from being started to showing its main window on an
// X server: it watches the root window for the map of a top-level window with the
// expected title. Used by the start-up benchmarks (run them under xvfb-run).

#include <QString>
#include <QStringList>

struct StartupRun {
    bool ok = false;
    double windowShownMs = 0;
};

// Starts `program` with `arguments` and `environment` (added to this process's), waits
// until a top-level window titled `title` is mapped (at most `limitMs`), then ends the
// program. `settle` is called with the child's pid after the window is shown and may
// wait for more (it returns extra figures through its own means) before the program ends.
StartupRun MeasureWindowShown(const QString &program, const QStringList &arguments,
                              const QStringList &environment, const QString &title, int limitMs);

double Median(QList<double> values);
