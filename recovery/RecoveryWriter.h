#pragma once
// Writes and removes one recovery copy on a thread of its own, so a large document never
// stalls the window. Only the newest request matters: one still waiting when another
// comes is dropped, and requests are carried out in the order given.

#include "recovery/RecoveryStore.h"

#include <functional>
#include <memory>
#include <thread>

class RecoveryWriter {
public:
    // `done` runs on the writer's thread after each write (true when it succeeded). A copy
    // whose text is on disk already (CopyMatchesFiles with `headWithoutFile`) holds nothing
    // to recover: that write removes the file instead, and counts as a success.
    explicit RecoveryWriter(std::function<void(bool)> done = {}, QByteArray headWithoutFile = {});
    // Waits for the request under way (up to a few seconds, so that a hung disk cannot
    // hold the program at exit) and ends the thread.
    ~RecoveryWriter();
    RecoveryWriter(const RecoveryWriter &) = delete;
    RecoveryWriter &operator=(const RecoveryWriter &) = delete;

    void write(const QString &path, const RecoveryCopy &copy);
    void remove(const QString &path);
    // Waits until every request so far is carried out; false when `limitMs` passed first
    // or the last one failed.
    bool flush(int limitMs);

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};
