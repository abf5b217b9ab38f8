#pragma once
// Process-wide state, in one place.
//
// Two threads use it: the main thread (every window, command and file dialog) and the
// conversion worker. Values the worker reads or writes are atomics, or texts handed over
// whole under a small lock (LockedText); everything else is main-thread only. The
// settings record is written by the main thread; the worker reads PandocExe,
// UpdateMilliseconds and MarkdownVersion only after settingsLoaded is set, and those
// three never change afterwards.

#include "settings/SettingsStore.h"

#include <QMutex>
#include <QSet>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <mutex>

// A text shared between threads: every read and write copies it whole under a lock.
class LockedText {
public:
    QString get() const
    {
        QMutexLocker locker(&lock_);
        return text_;
    }
    void set(const QString &text)
    {
        QMutexLocker locker(&lock_);
        text_ = text;
    }
    // Reads and empties the text in one step.
    QString take()
    {
        QMutexLocker locker(&lock_);
        QString text = text_;
        text_.clear();
        return text;
    }
    bool isEmpty() const
    {
        QMutexLocker locker(&lock_);
        return text_.isEmpty();
    }

private:
    mutable QMutex lock_;
    QString text_;
};

// Every temporary file the worker made; deleted at shutdown.
class TemporaryFileSet {
public:
    void add(const QString &path)
    {
        QMutexLocker locker(&lock_);
        paths_.insert(path);
    }
    QStringList paths() const
    {
        QMutexLocker locker(&lock_);
        return paths_.values();
    }
    void clear()
    {
        QMutexLocker locker(&lock_);
        paths_.clear();
    }

private:
    mutable QMutex lock_;
    QSet<QString> paths_;
};

enum ConverterState : int { ConverterStarting = 0, ConverterFailed = 1, ConverterIdle = 2, ConverterConverting = 3 };

struct AppState {
    // --- shared with the conversion worker ---
    std::atomic<int> quit{0};
    std::atomic<int> settingsLoaded{0};
    std::atomic<int> workerCount{0};
    std::atomic<int> converterState{ConverterStarting};
    std::atomic<int> changePending{0};
    std::atomic<int> changeSuppression{0};
    std::atomic<int> openInBrowser{0};
    std::atomic<int> mainWindowExists{0};
    // Milliseconds of platform().milliseconds(), stored in 32 bits; -10000 asks the worker
    // to convert on its next pass.
    std::atomic<std::int32_t> lastChangeTime{0};
    std::timed_mutex converterLock;  // serialises every run of the converter
    LockedText converterPath;
    LockedText previewReadyPath;
    LockedText lastPreviewFile;
    LockedText documentPath;
    LockedText currentStylesheet;
    TemporaryFileSet temporaryFiles;

    // --- main thread only ---
    SettingsStore settingsStore;   // the one owner of the settings in use
    // The store's record, for the code not yet moved to the store's getters and setters.
    Settings &settings = settingsStore.recordForDirectAccess();
    SettingsLocation location;
    QString lastFolder;            // folder of the last file dialog, ending in "/"
    int stylesheetChanged = 0;
    int freshDocument = 0;
    QStringList stylesheetList;    // names of the library's stylesheets; entry N is command 100 + N

    // Back to the values at process start (tests run several lives in one process).
    void reset();
};

AppState &app();
