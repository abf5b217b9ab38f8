#include "preview/NavigationRules.h"

#include "files/SafeFiles.h"
#include "platform/Platform.h"
#include "preview/PreviewGuard.h"

#include <QFileInfo>

bool SameNavigation(const QUrl &a, const QUrl &b)
{
    if (a.isLocalFile() && b.isLocalFile())
        return QFileInfo(a.toLocalFile()).absoluteFilePath() == QFileInfo(b.toLocalFile()).absoluteFilePath();
    return a.adjusted(QUrl::StripTrailingSlash) == b.adjusted(QUrl::StripTrailingSlash);
}

bool OnPreviewNavigate(const QUrl &url, bool pageInitiated, QString *note)
{
    const QString text = url.toString();
    // Web links go to the user's browser. Only a real web address is handed on;
    // an address that merely mentions one (a script or data URL) is just refused.
    if (text.contains(QLatin1String("http://")) || text.contains(QLatin1String("https://"))) {
        const QString scheme = url.scheme().toLower();
        if (!pageInitiated && (scheme == QLatin1String("http") || scheme == QLatin1String("https")))
            platform().openUrl(url);
        return false;
    }
    if (text.contains(QLatin1String("ftp://")) || text.contains(QLatin1String("mailto:")))
        return false;
    if (text.startsWith(QLatin1String("javascript:")))
        return false;
    if (text.startsWith(QLatin1String("about:")))
        return true;
    // File URLs are judged by the path they denote. Only regular files count: a folder
    // is neither shown nor handed on.
    const QString path = url.isLocalFile() ? url.toLocalFile() : text;
    if (!path.isEmpty() && IsRegularFile(path)) {
        if (path.contains(QLatin1String(".htm"), Qt::CaseInsensitive))
            return true;
        // The desktop's opener may run a launcher or a program: never handed on.
        if (IsLauncherOrProgram(path)) {
            if (note)
                *note = BlockedProgramNote(path);
            return false;
        }
        if (!pageInitiated)
            platform().openUrl(QUrl::fromLocalFile(path));
        return false;
    }
    return false;
}

bool MayFollowGesture(bool linkClicked, std::int64_t gestureAt, std::int64_t now)
{
    return linkClicked && gestureAt >= 0 && now - gestureAt <= kGestureMs;
}

bool FollowsGesture(const QUrl &url, std::int64_t at, std::int64_t gestureAt, const QUrl &gestureLink)
{
    return gestureAt >= 0 && at - gestureAt <= kGestureMs && !gestureLink.isEmpty() &&
           SameNavigation(url, gestureLink) && url.fragment() == gestureLink.fragment();
}

bool LeavesPage(const QUrl &url, const QUrl &shown)
{
    return url.adjusted(QUrl::RemoveFragment) != shown.adjusted(QUrl::RemoveFragment);
}
