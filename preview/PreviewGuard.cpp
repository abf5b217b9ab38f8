#include "preview/PreviewGuard.h"

#include "files/SafeFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QWebEngineUrlRequestInfo>

#include <sys/stat.h>

void LocalResourceGuard::interceptRequest(QWebEngineUrlRequestInfo &info)
{
    const QUrl url = info.requestUrl();
    if (url.isLocalFile() && !LocalRequestAllowed(url.toLocalFile(), info.resourceType()))
        info.block(true);
}

bool LocalRequestAllowed(const QString &path, QWebEngineUrlRequestInfo::ResourceType type)
{
    using Info = QWebEngineUrlRequestInfo;
    // Checked first: opening a pipe or device would wait for good.
    if (!IsRegularFile(path))
        return false;
    switch (type) {
    case Info::ResourceTypeMainFrame:
    case Info::ResourceTypeImage:
    case Info::ResourceTypeMedia:
    case Info::ResourceTypeFontResource:
    case Info::ResourceTypeFavicon:
        return true;
    // A page may read what it runs or applies: only files made to be run or applied.
    case Info::ResourceTypeScript:
        return path.endsWith(QLatin1String(".js"), Qt::CaseInsensitive) ||
               path.endsWith(QLatin1String(".mjs"), Qt::CaseInsensitive);
    case Info::ResourceTypeStylesheet:
        return path.endsWith(QLatin1String(".css"), Qt::CaseInsensitive);
    // Requests (XMLHttpRequest, fetch), frames, objects, workers and the rest hand a
    // file's content to a script.
    default:
        return false;
    }
}

bool FrameMayLoad(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("about") ||
           scheme == QLatin1String("data");
}

bool IsLauncherOrProgram(const QString &path)
{
    const QString suffix = QStringLiteral(".desktop");
    if (path.endsWith(suffix, Qt::CaseInsensitive) ||
        QFileInfo(path).canonicalFilePath().endsWith(suffix, Qt::CaseInsensitive))
        return true;
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && (info.st_mode & 0111) != 0;
}

QString LinkQueryScript(bool atPoint, double x, double y)
{
    const QString element = atPoint ? QStringLiteral("document.elementFromPoint(%1,%2)").arg(x).arg(y)
                                    : QStringLiteral("document.activeElement");
    return QStringLiteral("(function(){var e=%1;"
                          "var a=e&&e.closest?e.closest('a[href],area[href]'):null;"
                          "if(!a)return '';var h=a.href;"
                          "if(typeof h==='string')return h;"
                          "return h&&h.baseVal?new URL(h.baseVal,document.baseURI).href:'';})()")
        .arg(element);
}

QString BlockedByPageNote()
{
    return QStringLiteral("Blocked a link the page opened by itself.");
}

QString BlockedProgramNote(const QString &path)
{
    return QStringLiteral("Did not open '%1': launchers and programs are not opened from the preview.")
        .arg(QFileInfo(path).fileName());
}
