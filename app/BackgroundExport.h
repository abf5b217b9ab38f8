#pragma once
// Waiting for Save's background export before whatever would cut it short (another
// document, Save As, a second window, the end of the program).

class PageExporter;
class QWidget;

// Waits until `exporter` has no export left, the window painting meanwhile (input waits
// until then); a note shows over `window` when it takes longer than 300 ms. Waits may
// nest: each ends once the export has ended. False when the program began to quit
// meanwhile (a termination signal, the window closed): what waited must not go on.
bool WaitForExport(PageExporter &exporter, QWidget *window);
