#pragma once
// SIGTERM, SIGINT and SIGHUP (logout, Ctrl+C in a terminal, a closed terminal) end the
// program through its normal shutdown instead of killing it, so the settings are written
// and the temporary files removed.

class QObject;

// Calls QCoreApplication::quit() on the main thread when one of the signals arrives,
// after setting the quit flag.
void QuitOnTerminationSignals(QObject *parent);
