#include "conversion/ConversionWorker.h"

#include "app/AppState.h"
#include "settings/Paths.h"
#include "settings/Stylesheets.h"

#include <QFile>
#include <QSaveFile>
#include <chrono>
#include <thread>

namespace {

std::thread workerThread;

void sleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void ConversionWorker()
{
    AppState &s = app();
    s.workerCount.fetch_add(1);
    // Start-up waits also end on the quit flag, so shutdown never waits for a worker
    // whose settings never arrive.
    while (!s.settingsLoaded.load() && !s.quit.load())
        sleepMs(1);
    while (!s.quit.load())
        sleepMs(10);
    s.workerCount.fetch_sub(1);
}

} // namespace

bool InitConversion()
{
    try {
        workerThread = std::thread(ConversionWorker);
    } catch (...) {
        return false;
    }
    return PrepareStylesheetFolder();
}

void WaitForConversionWorker()
{
    while (app().workerCount.load() > 0)
        sleepMs(1);
    if (workerThread.joinable())
        workerThread.join();
}

void RequestConversion()
{
    AppState &s = app();
    s.changePending = 1;
    s.lastChangeTime = -10000;
    s.changeSuppression = 0;
}

bool RunConverter(const QString &, const QString &, const QString &, const QString &, const QString &)
{
    return false;
}

bool WriteTextFile(const QByteArray &bytes, const QString &path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(bytes);
    return file.commit();
}

QString ReplaceExtension(const QString &path, const QString &extension)
{
    if (path.isEmpty())
        return QString();
    QString file = FilePart(path);
    const qsizetype dot = file.lastIndexOf(u'.');
    if (dot >= 0)
        file.truncate(dot);
    QString result = FolderPart(path) + file;
    if (!extension.isEmpty())
        result += u'.' + extension;
    return result;
}

QString HtmlFileFor(const QString &path)
{
    return ReplaceExtension(path, QStringLiteral("htm"));
}

QString HeadFileFor(const QString &path)
{
    return ReplaceExtension(path, QStringLiteral("head.txt"));
}
