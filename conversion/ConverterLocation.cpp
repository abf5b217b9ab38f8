#include "conversion/ConverterLocation.h"

#include "core/AppState.h"

#include "conversion/ConverterProcess.h"
#include "settings/Paths.h"

#include <QFileInfo>
#include <QProcessEnvironment>
#include <algorithm>

namespace {

QString pathFromEnvironment()
{
    return QProcessEnvironment::systemEnvironment().value(QStringLiteral("PATH"));
}

} // namespace

QStringList BuildSearchPath(int options, const QString &pathVariable)
{
    QStringList folders;
    const QStringList entries = pathVariable.split(u':');
    for (const QString &entry : entries) {
        if (entry.isEmpty() || !IsAbsolutePath(entry))
            continue;
        const QString folder = WithTrailingSlash(entry);
        // Looked up without the trailing "/": stat() of "file/" fails and would hide a file.
        const QFileInfo info(folder.size() > 1 ? folder.chopped(1) : folder);
        // Linux folder names are case-sensitive: "/opt/Bin/" and "/opt/bin/" are two folders.
        if (info.exists() ? !info.isDir() : (options & SearchPathExistingOnly) != 0)
            continue;
        if ((options & SearchPathUnique) && folders.contains(folder))
            continue;
        folders.append(folder);
    }
    if (options & SearchPathSorted) {
        std::stable_sort(folders.begin(), folders.end(), [](const QString &a, const QString &b) {
            return a.compare(b, Qt::CaseInsensitive) < 0;
        });
    }
    return folders;
}

QString FindInSearchPath(const QString &name, const QString &pathVariable)
{
    if (name.isEmpty() || name.contains(u'/'))
        return QString();
    for (const QString &folder : BuildSearchPath(SearchPathUnique | SearchPathExistingOnly, pathVariable)) {
        const QFileInfo candidate(folder + name);
        if (candidate.isFile() && candidate.isExecutable())
            return folder + name;
    }
    return QString();
}

QString FindInSearchPath(const QString &name)
{
    return FindInSearchPath(name, pathFromEnvironment());
}

QString ChooseConverterPath(const QString &pandocExe, const QString &pathVariable)
{
    if (!pandocExe.isEmpty())
        return pandocExe;
    const QString found = FindInSearchPath(QStringLiteral("pandoc"), pathVariable);
    return found.isEmpty() ? QStringLiteral("pandoc") : found;
}

QString ChooseConverterPath(const QString &pandocExe)
{
    return ChooseConverterPath(pandocExe, pathFromEnvironment());
}

bool ProbeConverter(const QString &path)
{
    if (path.isEmpty())
        return false;
    return RunProcess(path, {QStringLiteral("-v")}, QString()).started;
}

QString ConverterFailureMessage(const QString &pandocExe)
{
    QString text = QStringLiteral("Pandoc could not be initialized!");
    if (!pandocExe.isEmpty())
        text += QStringLiteral("\n\nCustom path: ") + pandocExe;
    return text;
}

bool LocateConverter(const QString &pandocExe)
{
    AppState &s = app();
    std::lock_guard<std::mutex> guard(s.converterLock);
    const QString path = ChooseConverterPath(pandocExe);
    s.converterPath.set(path);
    const bool usable = ProbeConverter(path);
    s.converterState = usable ? ConverterIdle : ConverterFailed;
    return usable;
}
