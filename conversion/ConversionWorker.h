#pragma once
// The conversion worker: debounce, the preview's temporary files, and the hand-over of
// finished pages to the main thread.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>

// What the worker needs from the program around it. Each hook is called on the main
// thread only, from requests the worker queues there; an empty one is skipped.
struct ConversionHooks {
    // The document's and the head fragment's text for a preview run, read together.
    std::function<QByteArray()> readMarkdown;
    std::function<QByteArray()> readHead;
    // A new page was published: show it.
    std::function<void()> pageReady;
    // The converter could not be started; not called once the program quits.
    std::function<void(const QString &message)> showError;
    // A preview conversion started (true) or has ended (false), after its page, if any,
    // was handed over.
    std::function<void(bool running)> progress;
};

// Creates this instance's preview folder and starts the worker thread with `hooks`;
// false when the thread is missing.
bool InitConversion(ConversionHooks hooks);
// Sets the quit flag if needed, waits until the worker has ended and joins it, then
// deletes the preview files in this instance's folder and the folder itself. Bounded:
// a running conversion is stopped on quit.
void WaitForConversionWorker();
// Makes the worker convert on its next pass.
void RequestConversion();

// This instance's own folder for preview files, inside the system's temporary folder,
// ending in "/". Empty before InitConversion and after WaitForConversionWorker.
QString PreviewFolder();

// True when a change stored at `lastChange` (32-bit milliseconds, or -10000 for "now")
// has been quiet for more than `quietMilliseconds` at `now`.
bool ChangeIsDue(std::int64_t now, std::int32_t lastChange, std::int64_t quietMilliseconds);

// Wakes the worker after the change flag was set, so it need not poll while idle.
void WakeConversionWorker();

// How long a worker with a change pending sleeps before it looks again: until the change
// is due, at most 10 ms (a newer change moves the due time), at least 1 ms.
int PendingWaitMs(std::int64_t now, std::int32_t lastChange, std::int64_t quietMilliseconds);
