#pragma once
// The life of the main thread: start-up in its fixed order, the idle pass, shutdown.

#include <QStringList>

class QObject;

// Start-up up to the shown window; false after a fatal message (then call Shutdown).
bool StartApplication(const QStringList &arguments);
// Ends the program's work: quit flag, hidden window, settings, worker, temporary files.
// Returns the exit code (always 0).
int Shutdown();
void ShowFatalError(const QString &message);
// SIGTERM, SIGINT and SIGHUP set the quit flag and end the main loop (see
// platform/TerminationSignal.h).
void EndOnTerminationSignals(QObject *parent);

class ConversionHost;
// The preview's conversions of the running program (nullptr when not running).
ConversionHost *ActiveConversionHost();

class PreviewKeyHook;
// The preview-focus key hook of the running program (nullptr when not running).
PreviewKeyHook *ActivePreviewKeyHook();
