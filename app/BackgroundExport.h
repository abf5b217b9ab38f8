#pragma once
// Save's export of the page beside the document, run on a thread of its own so that a
// long conversion never freezes the window. Exports take turns with the preview's
// conversions under the converter lock and are never stopped for a newer change.

#include <QByteArray>
#include <QString>
#include <functional>

struct ExportJob {
    QString document;
    QString stylesheet;
    QByteArray headText;
};

// Starts exporting `job`. While an export runs, the job waits as the next one instead,
// replacing any job that was waiting: the last saved text wins. `finished` runs on the
// main thread once no export is left, with the last one's result; it replaces the
// callback of a job that was still to come.
void StartExport(const ExportJob &job, std::function<void(bool exported)> finished);
// Whether an export runs or waits (main thread).
bool ExportRunning();
// Waits until no export runs, the window painting meanwhile (input waits until then); a
// note shows when it takes longer than 300 ms. False when the program began to quit
// meanwhile (a termination signal, the window closed): what waited must not go on.
bool WaitForExport();
// Ends the export thread; the quit flag, set first, stops a converter run. Bounded.
void StopExportThread();
