#pragma once
// The conversion worker: debounce, temporary files, the converter run and the hand-over
// of finished pages to the main thread.

#include <QByteArray>
#include <QString>

// Starts the worker thread and prepares the stylesheet folder; false when either fails.
bool InitConversion();
// Waits until the worker has left its loop (the quit flag must be set) and joins it.
void WaitForConversionWorker();
// Makes the worker convert on its next pass.
void RequestConversion();

bool RunConverter(const QString &markdownFile, const QString &htmlFile, const QString &stylesheetRef,
                  const QString &headFile, const QString &title);

bool WriteTextFile(const QByteArray &bytes, const QString &path);
QString ReplaceExtension(const QString &path, const QString &extension);
QString HtmlFileFor(const QString &path);
QString HeadFileFor(const QString &path);
