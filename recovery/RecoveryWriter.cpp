#include "recovery/RecoveryWriter.h"

#include <QFile>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <pthread.h>
#include <thread>

namespace {

struct Request {
    QString path;
    bool remove = false;
    RecoveryCopy copy;
};

bool removeFile(const QString &path)
{
    return !QFile::exists(path) || QFile::remove(path);
}

bool carryOut(const Request &request, const QByteArray &headWithoutFile)
{
    // Text typed and deleted again leaves the editor modified, with nothing to recover.
    if (request.remove || CopyMatchesFiles(request.copy, headWithoutFile))
        return removeFile(request.path);
    return WriteRecoveryFile(request.path, FormatRecoveryCopy(request.copy));
}

} // namespace

struct RecoveryWriter::Shared {
    std::mutex lock;
    std::condition_variable changed;
    std::optional<Request> pending;
    bool busy = false;
    bool stop = false;
    bool lastOk = true;
    std::function<void(bool)> done;
    QByteArray headWithoutFile;   // set before the thread starts, read-only after

    bool busyNow()
    {
        std::lock_guard<std::mutex> guard(lock);
        return busy || pending.has_value();
    }

    void run()
    {
        std::unique_lock<std::mutex> guard(lock);
        for (;;) {
            changed.wait(guard, [this] { return pending.has_value() || stop; });
            if (!pending)
                return;
            const Request request = std::move(*pending);
            pending.reset();
            busy = true;
            guard.unlock();
            const bool ok = carryOut(request, headWithoutFile);
            guard.lock();
            if (done && !request.remove) {
                const auto report = done;
                guard.unlock();
                report(ok);
                guard.lock();
            }
            busy = false;
            lastOk = ok;
            changed.notify_all();
        }
    }
};

RecoveryWriter::RecoveryWriter(std::function<void(bool)> done, QByteArray headWithoutFile)
    : shared_(std::make_shared<Shared>())
{
    shared_->done = std::move(done);
    shared_->headWithoutFile = std::move(headWithoutFile);
    // The thread keeps the shared part alive should it outlast this object.
    thread_ = std::thread([shared = shared_] {
        pthread_setname_np(pthread_self(), "recovery copy");
        shared->run();
    });
}

RecoveryWriter::~RecoveryWriter()
{
    const bool idle = flush(5000) || !shared_->busyNow();
    {
        std::lock_guard<std::mutex> guard(shared_->lock);
        shared_->done = nullptr;
        shared_->stop = true;
        shared_->changed.notify_all();
    }
    if (idle)
        thread_.join();
    else
        thread_.detach();
}

void RecoveryWriter::write(const QString &path, const RecoveryCopy &copy)
{
    std::lock_guard<std::mutex> guard(shared_->lock);
    shared_->pending = Request{path, false, copy};
    shared_->changed.notify_all();
}

void RecoveryWriter::remove(const QString &path)
{
    std::lock_guard<std::mutex> guard(shared_->lock);
    shared_->pending = Request{path, true, RecoveryCopy()};
    shared_->changed.notify_all();
}

bool RecoveryWriter::flush(int limitMs)
{
    std::unique_lock<std::mutex> guard(shared_->lock);
    const bool finished = shared_->changed.wait_for(guard, std::chrono::milliseconds(limitMs), [this] {
        return !shared_->pending && !shared_->busy;
    });
    return finished && shared_->lastOk;
}
