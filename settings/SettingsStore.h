#pragma once
// The settings in use: one owner for every value of the settings file, with a getter, a
// setter and a changed signal per key (all made from the key list in Settings.h).

#include "settings/Settings.h"

#include <QObject>
#include <QStringList>

class SettingsStore : public QObject {
    Q_OBJECT
public:
    explicit SettingsStore(QObject *parent = nullptr);

    // Getters and setters, e.g. WordWrap() and setWordWrap(). A setter holds the value to
    // the key's rule (HeldToRule) and signals only when the value really changes. Main
    // thread only; the conversion worker reads PandocExe, UpdateMilliseconds and
    // MarkdownVersion without a lock, so those are set by load() alone, before it starts.
#define QUILLDOWN_STORE_ACCESS(type, name, initial, rule)                                  \
    type name() const { return values_.name; }                                          \
    void set##name(const type &value)                                                   \
    {                                                                                   \
        const type held = HeldToRule(rule, value, Settings().name);                     \
        if (values_.name == held)                                                       \
            return;                                                                     \
        values_.name = held;                                                            \
        emit name##Changed(held);                                                       \
    }
    QUILLDOWN_SETTINGS(QUILLDOWN_STORE_ACCESS)
#undef QUILLDOWN_STORE_ACCESS

    const Settings &values() const { return values_; }
    // Every key set from `values`, each one that changes signalling once.
    void setValues(const Settings &values);

    // Reads the settings file of `location` (the defaults for whatever cannot be read) and
    // keeps the notes about values that were replaced, for the user to see once.
    void load(const SettingsLocation &location);
    // Writes every value to the settings file of `location`, atomically.
    bool save(const SettingsLocation &location) const;

    // The notes of the last load, e.g. about a MarkdownVersion that is no format name.
    QStringList loadNotes() const { return loadNotes_; }
    // The notes as one line, emptied so that they are shown once.
    QString takeLoadNotes();

    // For code that still writes the record directly while it moves to the setters: such
    // writes go unsignalled, and the record must not be kept past the store's life.
    Settings &recordForDirectAccess() { return values_; }

signals:
#define QUILLDOWN_STORE_SIGNAL(type, name, initial, rule) void name##Changed(const type &value);
    QUILLDOWN_SETTINGS(QUILLDOWN_STORE_SIGNAL)
#undef QUILLDOWN_STORE_SIGNAL

private:
    Settings values_;
    QStringList loadNotes_;
};
