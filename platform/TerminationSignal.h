#pragma once
// SIGTERM, SIGINT and SIGHUP (logout, Ctrl+C in a terminal, a closed terminal) end the
// program through its normal shutdown instead of killing it, so the settings are written
// and the temporary files removed.

#include <functional>

class QObject;

// When one of the signals arrives, on the main thread: runs `onQuit` (which sets the
// caller's quit flag), closes any modal dialog and leaves the event loop. Callers check
// their quit flag before entering the loop.
void QuitOnTerminationSignals(QObject *parent, std::function<void()> onQuit);
