#pragma once
// Which program runs as Pandoc, and whether it can be started at all.

#include <QString>
#include <QStringList>

// Option bits of BuildSearchPath.
enum SearchPathOption : int {
    SearchPathSorted = 1,         // sort the folders, ascending
    SearchPathUnique = 2,         // leave out a folder already in the list
    SearchPathExistingOnly = 4,   // leave out a folder that does not exist
};

// The folders of a PATH value (split at ":"), each ending in "/". Empty and relative
// entries are left out: both name the current folder or lie below it, and a "pandoc"
// planted there must never run. Entries naming a file are always left out.
QStringList BuildSearchPath(int options, const QString &pathVariable);

// The first regular, executable file called `name` in the search folders; "" when none.
QString FindInSearchPath(const QString &name, const QString &pathVariable);
QString FindInSearchPath(const QString &name);

// `pandocExe` unchanged (untested) when set; else the search result; else the bare "pandoc".
QString ChooseConverterPath(const QString &pandocExe, const QString &pathVariable);
QString ChooseConverterPath(const QString &pandocExe);

// Runs `path` with "-v" in the current folder and waits for it (within the converter
// time limit). True when the process could be started; output and exit status are ignored.
bool ProbeConverter(const QString &path);

// Chooses and probes the converter for the `pandocExe` setting, under the converter lock,
// and records the outcome as the process's converter (AppState): its path, and whether
// it is usable. Returns that.
bool LocateConverter(const QString &pandocExe);

// The text shown when the probe fails.
QString ConverterFailureMessage(const QString &pandocExe);
