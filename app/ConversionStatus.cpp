#include "app/ConversionStatus.h"

#include "core/AppState.h"
#include "app/Document.h"
#include "app/MainWindow.h"

#include <QStatusBar>
#include <QTimer>

namespace {
// Counts the reports, so a note timer of an earlier run does nothing.
unsigned reports = 0;
}

void ShowConversionProgress(bool running)
{
    MainWindow *window = mainWindow();
    if (!window)
        return;
    const unsigned report = ++reports;
    QStatusBar *bar = window->statusBar();
    if (!running) {
        // A temporary message hides the status text without replacing it.
        if (bar->currentMessage() == QLatin1String(kConvertingText))
            bar->clearMessage();
        return;
    }
    QTimer::singleShot(kConvertingNoteMs, window, [report, bar, window] {
        // A save's status waiting for its export says more than the note would.
        const Document *document = window->document();
        if (report == reports && !(document && document->saveStatusShowing()))
            bar->showMessage(QLatin1String(kConvertingText));
    });
}
