#include "app/BackgroundExport.h"

#include "core/AppState.h"
#include "conversion/PageExport.h"

#include <QEventLoop>
#include <QPointer>
#include <QProgressDialog>
#include <QTimer>

bool WaitForExport(PageExporter &exporter, QWidget *window)
{
    if (!exporter.running())
        return true;
    // A loop of this wait's own: a wait started meanwhile (a second queued command) runs
    // its own inside this one, and the end of the export ends both.
    QEventLoop loop;
    QObject::connect(&exporter, &PageExporter::finished, &loop, &QEventLoop::quit);
    QPointer<QProgressDialog> note;
    QTimer later;
    later.setSingleShot(true);
    QObject::connect(&later, &QTimer::timeout, [&note, window] {
        note = new QProgressDialog(QStringLiteral("Finishing the export of the page..."), QString(), 0, 0, window);
        note->setWindowTitle(QStringLiteral("Quilldown"));
        note->setWindowModality(Qt::WindowModal);
        note->setMinimumDuration(0);
        note->show();
    });
    later.start(300);
    // A termination signal or the window's close ends every loop with the main one
    // (QCoreApplication::quit); the export is then stopped by the quit flag.
    if (exporter.running() && !app().quit.load())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    delete note.data();
    return !exporter.running() && !app().quit.load();
}
