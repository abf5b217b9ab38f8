#pragma once
// What is truly process-wide, in one place.
//
// The quit flag and the converter's location, state and lock are shared by every thread
// that may run the converter (the preview worker, the export thread) and by the main
// thread, so they are atomics or locked. The settings in use, their location and the
// stylesheet list are main-thread only; they stay here until the settings have an owner
// of their own. The page handed to the preview is main-thread only too: set just before
// the preview is refreshed, taken by the preview.

#include "settings/SettingsStore.h"

#include <QMutex>
#include <QString>
#include <QStringList>
#include <atomic>
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

enum ConverterState : int { ConverterStarting = 0, ConverterFailed = 1, ConverterIdle = 2, ConverterConverting = 3 };

struct AppState {
    // --- any thread ---
    // Set once the program ends (or a termination signal came): every wait and every
    // converter run ends.
    std::atomic<int> quit{0};
    // Found and probed once by the preview worker as it starts.
    std::atomic<int> converterState{ConverterStarting};
    LockedText converterPath;
    std::mutex converterLock;  // serialises every run of the converter

    // --- main thread only ---
    SettingsStore settingsStore;   // the one owner of the settings in use
    // The store's record, for the code not yet moved to the store's getters and setters.
    Settings &settings = settingsStore.recordForDirectAccess();
    SettingsLocation location;
    QStringList stylesheetList;    // names of the library's stylesheets; entry N is command 100 + N
    LockedText previewReadyPath;   // the page the preview shows next
    int freshDocument = 0;         // the next page is a new document's: shown from its top

    // Back to the values at process start (tests run several lives in one process).
    void reset();
};

AppState &app();
