#pragma once
// The conversion worker: debounce, temporary files, the converter run and the hand-over
// of finished pages to the main thread.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

// Creates this instance's preview folder and starts the worker thread; false when the
// thread is missing.
bool InitConversion();
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

// The converter's arguments; `headFile` empty means no "-H".
QStringList ConverterArguments(const QString &format, const QString &htmlFile, const QString &stylesheetRef,
                               const QString &headFile, const QString &title, const QString &markdownFile);

// Runs the converter once under the converter lock and waits for it (at most the
// converter time limit). True only when it ended with status 0 and wrote `htmlFile`.
// On failure `errorText`, when given, receives why, with the converter's error output.
// When `overtaken` answers true, waiting for the lock or the run is given up (the run's
// processes ended) and false returned.
bool RunConverter(const QString &markdownFile, const QString &htmlFile, const QString &stylesheetRef,
                  const QString &headFile, const QString &title, QString *errorText = nullptr,
                  const std::function<bool()> &overtaken = {});

// Called on the main thread when a preview conversion starts (true) and when it has
// ended (false), after its page, if any, was handed to the pane. Set before
// InitConversion.
void SetConversionProgressHandler(std::function<void(bool running)> handler);

// Replaces `path` atomically with `bytes` (written beside it, then renamed; an existing
// file keeps its permissions, a symbolic link keeps pointing at its target, which gets
// the new content). False when the file cannot be written; the old one then stays.
bool WriteTextFile(const QByteArray &bytes, const QString &path);
QString ReplaceExtension(const QString &path, const QString &extension);
QString HtmlFileFor(const QString &path);
QString HeadFileFor(const QString &path);

// The short page shown in the preview when a conversion failed.
QByteArray ConversionErrorPage(const QString &errorText);
