#pragma once
// Preview conversions as requests: the worker object that runs them on its own thread,
// and the owner that starts it, numbers the requests and cleans up after it.

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <atomic>
#include <optional>

class QThread;
class QTimer;

// Everything one preview conversion needs, taken on the main thread at the moment of the
// change, so the worker never reads the editors or the settings.
struct ConversionRequest {
    quint64 id = 0;              // given by ConversionThread::request; higher is newer
    QByteArray markdown;
    QByteArray head;
    QString documentPath;        // "" for an unsaved document
    QString stylesheet;          // "" or a path; used only when it is a regular file
    QString format;              // the converter's input format
    QString pageTitle;
    int quietMs = 0;             // how long no newer request must come before it runs
    bool forBrowser = false;     // runs at once and is never overtaken
};
Q_DECLARE_METATYPE(ConversionRequest)

// Every temporary file the worker made: written by the worker, read once its thread ended.
using MadeFiles = QSet<QString>;

// Lives on the worker thread. Takes requests one at a time: a request waits its quiet
// time (a newer one replaces it and starts the wait again), then its texts are written
// to scratch files and converted. A run for a request older than the newest one given to
// supersede() is stopped and its page dropped.
class ConversionWorker : public QObject {
    Q_OBJECT
public:
    ConversionWorker(QString pandocExe, QString previewFolder, MadeFiles *made);

    // Any thread: every request older than `id` is overtaken.
    void supersede(quint64 id) { newest_.store(id); }
    // Any thread: a run under way ends at once, and no other starts.
    void stop() { stopping_.store(true); }

public slots:
    // Finds and probes the converter; the first slot run on the worker thread.
    void start();
    void take(const ConversionRequest &request);

signals:
    // A page for request `id` was written at `path`.
    void pageReady(const QString &path, quint64 id);
    // The converter could not be started (reported a second after the probe failed).
    void failed(const QString &message);
    // A conversion started (true) or has ended (false), after its page was reported.
    void progress(bool running);

private:
    void runPending();
    bool overtaken(const ConversionRequest &request) const;

    const QString pandocExe_;
    const QString previewFolder_;
    MadeFiles *made_;
    QTimer *quiet_ = nullptr;
    std::optional<ConversionRequest> pending_;
    bool usable_ = false;
    int toggle_ = 0;   // the scratch names alternate, so a page in view is never rewritten
    QString pageTemplate_;   // the preview's page template, written once into the preview folder
    std::atomic<quint64> newest_{0};
    std::atomic<bool> stopping_{false};
};

// Main thread: owns the worker, its thread and this instance's preview folder.
class ConversionThread : public QObject {
    Q_OBJECT
public:
    explicit ConversionThread(QObject *parent = nullptr);
    ~ConversionThread() override;

    // Starts the worker with the converter setting (fixed from now on); false when the
    // thread cannot be made.
    bool start(const QString &pandocExe);
    // Numbers `request`, overtakes every older one and queues it; returns its id.
    quint64 request(ConversionRequest request);
    // Overtakes every request so far (the text changed; its request follows).
    void overtake();
    // The id of the newest request so far.
    quint64 newest() const { return newest_; }
    // Stops a running conversion, ends the thread (bounded) and removes the files the
    // worker made, all in this instance's own folder, and the folder.
    void stop();

    // This instance's own folder for preview files, ending in "/".
    QString previewFolder() const { return previewFolder_; }

signals:
    void pageReady(const QString &path, quint64 id);
    void failed(const QString &message);
    void progress(bool running);

private:
    QString previewFolder_;
    bool ownsPreviewFolder_ = false;
    MadeFiles made_;
    QThread *thread_ = nullptr;
    ConversionWorker *worker_ = nullptr;
    quint64 newest_ = 0;
};
