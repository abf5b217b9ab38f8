#include "preview/NavigationRules.h"

#include "files/SafeFiles.h"
#include "platform/Platform.h"
#include "preview/PreviewGuard.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QMimeType>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Types the desktop's opener runs, or hands to something that runs them, rather than
// shows. Subtypes count too: scripts of every language inherit application/x-executable,
// themes inherit launchers.
const char *const kRunnableTypes[] = {
    "application/x-desktop",           "application/x-executable",     "application/x-sharedlib",
    "application/x-pie-executable",    "application/x-shellscript",    "application/x-java-archive",
    "application/x-java-jnlp-file",    "application/x-ms-dos-executable", "application/x-msdownload",
    "application/x-msi",               "application/x-ms-shortcut",    "application/x-msdos-program",
    "application/x-ms-ne-executable",  "application/x-dosexec",        "application/x-bat",
    "text/vbscript",                   "text/x-ms-regedit",            "application/vnd.appimage",
    "application/x-iso9660-appimage",  "text/x-python",                "text/x-python3",
    "application/x-perl",              "application/x-ruby",           "application/x-python-bytecode",
};

// Names the shared MIME database may not know (it lacks most Windows ones), checked as well.
const char *const kRunnableSuffixes[] = {
    "desktop", "kdelnk", "exe", "com", "bat", "cmd", "scr", "pif", "msi", "msp", "lnk", "vbs", "vbe",
    "js",      "jse",    "wsf", "wsh", "ps1", "psm1", "hta", "cpl", "msc", "reg", "jar", "jnlp", "appimage",
    "run",     "sh",     "bash", "csh", "ksh", "zsh", "py", "pyc", "pl", "rb", "so",
};

// Enough of a file for the MIME database's content rules.
constexpr qint64 kContentBytes = 64 * 1024;

bool runnableType(const QMimeType &type)
{
    for (const char *name : kRunnableTypes)
        if (type.inherits(QLatin1String(name)))
            return true;
    return false;
}

// Characters that make a name read differently to a person or to a program than it is:
// controls (a newline ends an address for some openers), line separators and the marks
// that reverse the direction of the text.
bool hasControlCharacters(const QString &name)
{
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        if (c.category() == QChar::Other_Control || u == 0x2028 || u == 0x2029 || u == 0x200e || u == 0x200f ||
            (u >= 0x202a && u <= 0x202e) || (u >= 0x2066 && u <= 0x2069))
            return true;
    }
    return false;
}

bool runnableName(const QString &name)
{
    if (name.isEmpty() || hasControlCharacters(name))
        return true;
    for (const char *suffix : kRunnableSuffixes)
        if (name.endsWith(u'.' + QLatin1String(suffix), Qt::CaseInsensitive))
            return true;
    static const QMimeDatabase database;
    const QList<QMimeType> types = database.mimeTypesForFileName(name);
    return std::any_of(types.begin(), types.end(), runnableType);
}

// The name as it is and as an opener that decodes percent escapes once more reads it.
bool runnableNameAnyReading(const QString &name)
{
    const QString decoded = QUrl::fromPercentEncoding(name.toUtf8());
    return runnableName(name) || (decoded != name && runnableName(decoded));
}

// The start of the regular file at `path` and whether it has an execute bit, read without
// waiting on a pipe or device put there meanwhile. False when it is no readable regular file.
bool readStart(const QString &path, QByteArray *start, bool *executable)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat info;
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (ok) {
        *executable = (info.st_mode & 0111) != 0;
        start->resize(kContentBytes);
        qint64 got = 0;
        while (got < kContentBytes) {
            const ssize_t n = ::read(fd, start->data() + got, static_cast<size_t>(kContentBytes - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                ok = false;
            if (n <= 0)
                break;
            got += n;
        }
        start->resize(got);
    }
    ::close(fd);
    return ok;
}

} // namespace

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
        const QUrl handOff = LocalHandOff(path);
        if (handOff.isEmpty()) {
            if (note)
                *note = BlockedProgramNote(path);
            return false;
        }
        if (!pageInitiated)
            platform().openUrl(handOff);
        return false;
    }
    return false;
}

bool DesktopMightRun(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (canonical.isEmpty())
        return true;
    // A link's own name counts as well as its target's: either may be what a person saw.
    if (runnableNameAnyReading(QFileInfo(path).fileName()) || runnableNameAnyReading(QFileInfo(canonical).fileName()))
        return true;
    QByteArray start;
    bool executable = true;
    if (!readStart(canonical, &start, &executable) || executable)
        return true;
    static const QMimeDatabase database;
    return runnableType(database.mimeTypeForData(start)) ||
           runnableType(database.mimeTypeForFileNameAndData(QFileInfo(canonical).fileName(), start));
}

QUrl LocalHandOff(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (canonical.isEmpty() || !IsRegularFile(canonical) || DesktopMightRun(canonical) || DesktopMightRun(path))
        return QUrl();
    return QUrl::fromLocalFile(canonical);
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
