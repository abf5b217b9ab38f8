#include "settings/SettingsStore.h"

SettingsStore::SettingsStore(QObject *parent)
    : QObject(parent)
{
}

void SettingsStore::setValues(const Settings &values)
{
#define QUILLDOWN_STORE_SET(type, name, initial, rule) set##name(values.name);
    QUILLDOWN_SETTINGS(QUILLDOWN_STORE_SET)
#undef QUILLDOWN_STORE_SET
}

void SettingsStore::load(const SettingsLocation &location)
{
    ParsedSettings parsed = LoadSettingsWithNotes(location);
    loadNotes_ = parsed.notes;
    setValues(parsed.values);
}

bool SettingsStore::save(const SettingsLocation &location) const
{
    return SaveSettings(location, values_);
}

QString SettingsStore::takeLoadNotes()
{
    const QString notes = loadNotes_.join(u' ');
    loadNotes_.clear();
    return notes;
}
