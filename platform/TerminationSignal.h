#pragma once
// SIGTERM, SIGINT and SIGHUP (logout, Ctrl+C in a terminal, a closed terminal) end the
// program through its normal shutdown instead of killing it, so the settings are written
// and the temporary files removed.

class QObject;

// When one of the signals arrives: sets the quit flag, closes any modal dialog and leaves
// the event loop, on the main thread. Callers check the quit flag before entering the loop.
void QuitOnTerminationSignals(QObject *parent);
