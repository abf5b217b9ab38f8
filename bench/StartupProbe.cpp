#include "StartupProbe.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

bool titled(Display *display, Window window, const QByteArray &title)
{
    char *name = nullptr;
    if (!XFetchName(display, window, &name) || !name)
        return false;
    const bool match = title == name;
    XFree(name);
    return match;
}

} // namespace

StartupRun MeasureWindowShown(const QString &program, const QStringList &arguments,
                              const QStringList &environment, const QString &title, int limitMs)
{
    StartupRun run;
    Display *display = XOpenDisplay(nullptr);
    if (!display)
        return run;
    const Window root = DefaultRootWindow(display);
    XSelectInput(display, root, SubstructureNotifyMask);
    XSync(display, False);

    std::vector<QByteArray> storage;
    std::vector<char *> argv, envp;
    storage.push_back(program.toLocal8Bit());
    for (const QString &a : arguments)
        storage.push_back(a.toLocal8Bit());
    for (QByteArray &s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    std::vector<QByteArray> envStorage;
    for (char **e = environ; *e; ++e)
        envStorage.emplace_back(*e);
    for (const QString &e : environment)
        envStorage.push_back(e.toLocal8Bit());
    for (QByteArray &s : envStorage)
        envp.push_back(s.data());
    envp.push_back(nullptr);

    const QByteArray wanted = title.toUtf8();
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0) {
        XCloseDisplay(display);
        return run;
    }
    const int fd = ConnectionNumber(display);
    for (;;) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify && titled(display, event.xmap.window, wanted)) {
                run.ok = true;
                run.windowShownMs =
                    std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
            }
        }
        if (run.ok)
            break;
        const double elapsed =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        if (elapsed > limitMs)
            break;
        pollfd p{fd, POLLIN, 0};
        poll(&p, 1, 5);
    }
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    XCloseDisplay(display);
    return run;
}

double Median(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}
