#pragma once
// The per-user base folders of the XDG rules, the one place that reads their variables.

#include <QString>

enum class XdgBase {
    Config,   // $XDG_CONFIG_HOME, else $HOME/.config
    Data,     // $XDG_DATA_HOME, else $HOME/.local/share
    State,    // $XDG_STATE_HOME, else $HOME/.local/state
};

// The base folder, cleaned and ending in "/". A variable that is unset, empty or relative
// is ignored (a relative one would put the files wherever the program was started); so is
// a HOME that is not absolute. Empty when neither gives a folder.
QString XdgBaseFolder(XdgBase base);

// `subfolder` (one name, e.g. "Quilldown") inside the base folder, ending in "/"; empty
// when there is no base folder.
QString XdgUserFolder(XdgBase base, const QString &subfolder);
