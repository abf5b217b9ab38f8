#pragma once
// Save's export of the page beside the document: the export itself, and the object that
// runs it on a thread of its own so that a long conversion never freezes the window.
// Exports take turns with the preview's conversions under the converter lock and are
// never stopped for a newer change.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

struct ExportJob {
    QString document;
    QString stylesheet;
    QString format;       // the converter's input format
    QByteArray headText;
};

// Writes the exported page beside `job.document`, with a copy of its stylesheet (made only
// when no file of that name is there yet) and the page title taken from the head text.
// True only when the page was written; false when there is no document or the conversion
// failed (the older page, if any, then stays). Touches no widget, so it may run on any
// thread.
bool ExportPage(const ExportJob &job);

// Runs exports one after another on its own thread. Made and used on the main thread.
class PageExporter : public QObject {
    Q_OBJECT
public:
    PageExporter() = default;
    // Ends the thread; the quit flag, set first, stops a converter run. Bounded.
    ~PageExporter() override;

    // Starts exporting `job`. While an export runs, the job waits as the next one instead,
    // replacing any job that was waiting: the last saved text wins. `done` runs once no
    // export is left, with the last one's result; it replaces the `done` of a job that
    // was still to come.
    void start(const ExportJob &job, std::function<void(bool exported)> done = {});
    // Whether an export runs or waits.
    bool running() const { return running_; }
    // Ends the thread and forgets a waiting job; a later start() begins a new one.
    void stop();

signals:
    // No export is left; emitted after `done` ran.
    void finished(bool exported);

private:
    void loop();
    void ended(bool exported);

    // Under lock_: what the thread takes next, whether it exports, and its end.
    std::mutex lock_;
    std::condition_variable jobArrived_;
    std::optional<ExportJob> next_;
    bool exporting_ = false;
    bool stopping_ = false;
    std::thread thread_;
    // Main thread only.
    bool running_ = false;
    std::function<void(bool)> done_;
};
