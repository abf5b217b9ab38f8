#pragma once
// Drives a program on an X server the way a person watching the screen would: starts it,
// notices its main window being mapped, looks at the pixels of a part of that window,
// types keys through the XTEST extension and moves the keyboard focus away. Used by the
// session benchmark (run it under xvfb-run).

#include <QByteArray>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <sys/types.h>

class XSession {
public:
    XSession();
    ~XSession();
    bool connected() const { return display_ != nullptr; }

    // Starts `program` with this process's environment, `environment` entries ("NAME=value")
    // taking the place of inherited ones; the clock of elapsedMs() starts with it.
    bool start(const QString &program, const QStringList &arguments, const QStringList &environment);
    // Waits until a top-level window of the started process is mapped.
    bool waitForWindow(int limitMs);
    // Ends the program with SIGTERM and waits for it (killed after `limitMs`).
    void stop(int limitMs = 20000);

    pid_t pid() const { return pid_; }
    double elapsedMs() const;
    double windowShownMs() const { return shownMs_; }
    QRect windowRect() const;   // in root coordinates

    // The pixels of `area` (window coordinates) as 32-bit values.
    QByteArray grab(const QRect &area);
    // Waits until `test` accepts a grab of `area`; the time of that grab, or -1.
    double waitForPixels(const QRect &area, const std::function<bool(const QByteArray &)> &test, int limitMs,
                         int pollMs = 5);

    // Types the text's ASCII letters as key presses into the focused window.
    void typeText(const char *text);
    // Presses and releases the key of an X keysym name ("BackSpace", "Home").
    void typeKey(const char *keysymName);
    // Turns the mouse wheel `clicks` steps down (negative: up) over `point` (window coordinates).
    void scrollWheel(const QPoint &point, int clicks);
    // Keyboard focus on the program's window, or on a window of the session's own.
    void focusProgram();
    void focusElsewhere();

    // Waits `ms` milliseconds while reading the server's events.
    void pause(int ms);

private:
    struct _XDisplay *display_ = nullptr;
    unsigned long window_ = 0;
    unsigned long other_ = 0;
    pid_t pid_ = 0;
    double startNs_ = 0;
    double shownMs_ = -1;
};

// A private home for the program under test: a "docs/" folder for its documents, its
// settings file, and the environment that points it there and at the X server.
class ProgramHome {
public:
    ProgramHome();
    QString docs() const;
    QString settingsFile() const;
    QStringList environment(const QString &chromiumFlags = QStringLiteral("--disable-gpu --disable-logging")) const;

private:
    QTemporaryDir dir_;
};

// Pixels darker than a light background: text on a page.
int DarkPixels(const QByteArray &pixels);
// Painted (mostly light) with text on it, as opposed to a window not drawn yet (black).
bool TextShown(const QByteArray &pixels);

// Parts of Quilldown's main window (window coordinates): where the preview page is, and
// the first lines of the Markdown editor.
QRect PreviewArea(const QRect &window);
QRect EditorArea(const QRect &window);
// Pixels that differ between two grabs of the same area.
int ChangedPixels(const QByteArray &a, const QByteArray &b);
