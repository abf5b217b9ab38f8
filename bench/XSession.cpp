#include "XSession.h"

#include <QDir>
#include <QSet>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <chrono>
#include <cstdlib>
#include <csignal>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

double nowNs()
{
    return double(std::chrono::duration_cast<std::chrono::nanoseconds>(
                      std::chrono::steady_clock::now().time_since_epoch())
                      .count());
}

long windowPid(Display *display, Window window)
{
    const Atom property = XInternAtom(display, "_NET_WM_PID", True);
    if (property == None)
        return -1;
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char *data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(display, window, property, 0, 1, False, XA_CARDINAL, &type, &format, &items, &after,
                           &data) == Success &&
        data) {
        if (items == 1 && format == 32)
            pid = *reinterpret_cast<long *>(data);
        XFree(data);
    }
    return pid;
}

// Luminance of one 32-bit TrueColor pixel.
int luminance(quint32 pixel)
{
    const int r = (pixel >> 16) & 0xff, g = (pixel >> 8) & 0xff, b = pixel & 0xff;
    return (r * 299 + g * 587 + b * 114) / 1000;
}

} // namespace

XSession::XSession()
{
    display_ = XOpenDisplay(nullptr);
    if (!display_)
        return;
    XSelectInput(display_, DefaultRootWindow(display_), SubstructureNotifyMask);
    // A small window of our own, away from the program's, to take the keyboard focus.
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    other_ = XCreateWindow(display_, DefaultRootWindow(display_), 0, 0, 8, 8, 0, CopyFromParent, InputOutput,
                           CopyFromParent, CWOverrideRedirect, &attributes);
    XMapWindow(display_, other_);
    XSync(display_, False);
}

XSession::~XSession()
{
    stop();
    if (display_) {
        XDestroyWindow(display_, other_);
        XCloseDisplay(display_);
    }
}

bool XSession::start(const QString &program, const QStringList &arguments, const QStringList &environment)
{
    window_ = 0;
    shownMs_ = -1;
    std::vector<QByteArray> storage{program.toLocal8Bit()};
    for (const QString &a : arguments)
        storage.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    // The first of two equal names would win, so inherited entries that the list sets
    // are left out.
    QSet<QByteArray> names;
    for (const QString &e : environment)
        names.insert(e.section(u'=', 0, 0).toLocal8Bit());
    std::vector<QByteArray> envStorage;
    for (char **e = environ; *e; ++e) {
        const QByteArray entry(*e);
        if (!names.contains(entry.left(entry.indexOf('='))))
            envStorage.push_back(entry);
    }
    for (const QString &e : environment)
        envStorage.push_back(e.toLocal8Bit());
    std::vector<char *> envp;
    for (QByteArray &s : envStorage)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    XSync(display_, True);   // forget maps of earlier programs
    startNs_ = nowNs();
    return posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), envp.data()) == 0;
}

double XSession::elapsedMs() const
{
    return (nowNs() - startNs_) / 1e6;
}

bool XSession::waitForWindow(int limitMs)
{
    const int fd = ConnectionNumber(display_);
    while (!window_ && elapsedMs() < limitMs) {
        while (XPending(display_)) {
            XEvent event;
            XNextEvent(display_, &event);
            if (event.type == MapNotify && !event.xmap.override_redirect && !window_ &&
                windowPid(display_, event.xmap.window) == pid_) {
                window_ = event.xmap.window;
                shownMs_ = elapsedMs();
            }
        }
        if (!window_) {
            pollfd p{fd, POLLIN, 0};
            poll(&p, 1, 2);
        }
    }
    return window_ != 0;
}

void XSession::stop(int limitMs)
{
    if (pid_ <= 0)
        return;
    kill(pid_, SIGTERM);
    int status = 0;
    for (int waited = 0; waitpid(pid_, &status, WNOHANG) == 0; waited += 10) {
        if (waited >= limitMs) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            break;
        }
        usleep(10000);
    }
    pid_ = 0;
    window_ = 0;
}

QRect XSession::windowRect() const
{
    if (!window_)
        return {};
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display_, window_, &attributes))
        return {};
    int x = 0, y = 0;
    Window child;
    XTranslateCoordinates(display_, window_, DefaultRootWindow(display_), 0, 0, &x, &y, &child);
    return QRect(x, y, attributes.width, attributes.height);
}

QByteArray XSession::grab(const QRect &area)
{
    QByteArray pixels;
    XImage *image = XGetImage(display_, window_, area.x(), area.y(), unsigned(area.width()),
                              unsigned(area.height()), AllPlanes, ZPixmap);
    if (!image)
        return pixels;
    pixels.reserve(qsizetype(area.width()) * area.height() * 4);
    for (int y = 0; y < area.height(); ++y) {
        if (image->bits_per_pixel == 32) {
            pixels.append(image->data + qsizetype(y) * image->bytes_per_line, qsizetype(area.width()) * 4);
            continue;
        }
        for (int x = 0; x < area.width(); ++x) {
            const quint32 pixel = quint32(XGetPixel(image, x, y));
            pixels.append(reinterpret_cast<const char *>(&pixel), 4);
        }
    }
    XDestroyImage(image);
    return pixels;
}

double XSession::waitForPixels(const QRect &area, const std::function<bool(const QByteArray &)> &test,
                               int limitMs, int pollMs)
{
    const double until = elapsedMs() + limitMs;
    while (elapsedMs() < until) {
        const double at = elapsedMs();
        const QByteArray pixels = grab(area);
        if (!pixels.isEmpty() && test(pixels))
            return at;
        pause(pollMs);
    }
    return -1;
}

void XSession::typeText(const char *text)
{
    for (const char *c = text; *c; ++c) {
        const char name[2] = {*c, 0};
        const KeyCode code = XKeysymToKeycode(display_, XStringToKeysym(name));
        XTestFakeKeyEvent(display_, code, True, CurrentTime);
        XTestFakeKeyEvent(display_, code, False, CurrentTime);
    }
    XFlush(display_);
}

void XSession::focusProgram()
{
    XSetInputFocus(display_, window_, RevertToPointerRoot, CurrentTime);
    XSync(display_, False);
}

void XSession::typeKey(const char *keysymName)
{
    const KeyCode code = XKeysymToKeycode(display_, XStringToKeysym(keysymName));
    XTestFakeKeyEvent(display_, code, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, False, CurrentTime);
    XFlush(display_);
}

void XSession::scrollWheel(const QPoint &point, int clicks)
{
    const QRect window = windowRect();
    XTestFakeMotionEvent(display_, -1, window.x() + point.x(), window.y() + point.y(), CurrentTime);
    const unsigned button = clicks > 0 ? 5 : 4;
    for (int i = 0; i < std::abs(clicks); ++i) {
        XTestFakeButtonEvent(display_, button, True, CurrentTime);
        XTestFakeButtonEvent(display_, button, False, CurrentTime);
    }
    XFlush(display_);
}

void XSession::focusElsewhere()
{
    XSetInputFocus(display_, other_, RevertToPointerRoot, CurrentTime);
    XSync(display_, False);
}

void XSession::pause(int ms)
{
    const double until = elapsedMs() + ms;
    for (double left = ms; left > 0; left = until - elapsedMs()) {
        while (XPending(display_)) {
            XEvent event;
            XNextEvent(display_, &event);
        }
        pollfd p{ConnectionNumber(display_), POLLIN, 0};
        poll(&p, 1, int(left) + 1);
    }
}

int DarkPixels(const QByteArray &pixels)
{
    const auto *p = reinterpret_cast<const quint32 *>(pixels.constData());
    int count = 0;
    for (qsizetype i = 0; i < pixels.size() / 4; ++i)
        count += luminance(p[i]) < 128;
    return count;
}

bool TextShown(const QByteArray &pixels)
{
    const int dark = DarkPixels(pixels);
    return dark > 300 && dark < pixels.size() / 4 / 3;
}

QRect PreviewArea(const QRect &window)
{
    return QRect(window.width() * 55 / 100, window.height() * 12 / 100, window.width() * 40 / 100,
                 window.height() * 60 / 100);
}

QRect EditorArea(const QRect &window)
{
    return QRect(4, window.height() * 5 / 100, window.width() * 40 / 100, window.height() * 20 / 100);
}

int ChangedPixels(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return int(std::max(a.size(), b.size()) / 4);
    const auto *p = reinterpret_cast<const quint32 *>(a.constData());
    const auto *q = reinterpret_cast<const quint32 *>(b.constData());
    int count = 0;
    for (qsizetype i = 0; i < a.size() / 4; ++i)
        count += (p[i] & 0xffffff) != (q[i] & 0xffffff);
    return count;
}

ProgramHome::ProgramHome()
{
    QDir().mkpath(docs());
    QDir().mkpath(dir_.path() + QStringLiteral("/config/Quilldown"));
}

QString ProgramHome::docs() const
{
    return dir_.path() + QStringLiteral("/docs/");
}

QString ProgramHome::settingsFile() const
{
    return dir_.path() + QStringLiteral("/config/Quilldown/Quilldown.ini");
}

QStringList ProgramHome::environment(const QString &chromiumFlags) const
{
    return {
        QStringLiteral("XDG_CONFIG_HOME=") + dir_.path() + QStringLiteral("/config"),
        QStringLiteral("XDG_DATA_HOME=") + dir_.path() + QStringLiteral("/data"),
        QStringLiteral("XDG_STATE_HOME=") + dir_.path() + QStringLiteral("/state"),
        QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS=") + chromiumFlags,
        QStringLiteral("QT_LOGGING_RULES=qt.webenginecontext.info=false;*.warning=false"),
        QStringLiteral("QT_QPA_PLATFORM=xcb"),
    };
}
