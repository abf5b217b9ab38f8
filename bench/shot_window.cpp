// Captures the real Quilldown window with a sample document for the README: starts the
// program on an X server with settings of its own (window size, editor font, word wrap), waits until
// the preview shows the page and the window has stopped changing, and saves the window's
// pixels as a PNG. scripts/screenshot.sh runs it:
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/quilldown_screenshot out.png [document.md]
// (QUILLDOWN_BINARY=path captures another build of the program.)
#include "XSession.h"
#include "settings/Settings.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <cstdio>

namespace {

// Waits until two grabs of the window a moment apart differ by no more than a blinking
// caret, so the picture holds the finished page and not a frame in between.
bool waitUntilStill(XSession &session, const QRect &area, int limitMs)
{
    const double until = session.elapsedMs() + limitMs;
    QByteArray last = session.grab(area);
    int stillFor = 0;
    while (session.elapsedMs() < until) {
        session.pause(250);
        const QByteArray now = session.grab(area);
        stillFor = !now.isEmpty() && ChangedPixels(last, now) <= 64 ? stillFor + 1 : 0;
        if (stillFor >= 4)
            return true;
        last = now;
    }
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s output.png [document.md]\n", argv[0]);
        return 2;
    }
    const QString output = QString::fromLocal8Bit(argv[1]);
    const QString sample = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral(QUILLDOWN_SAMPLE);
    XSession session;
    if (!session.connected()) {
        std::fprintf(stderr, "no X server (run under xvfb-run)\n");
        return 1;
    }

    // A copy of the document, so nothing the program writes lands beside the original.
    const ProgramHome home;
    const QString docs = home.docs();
    const QString document = docs + QFileInfo(sample).fileName();
    if (!QFile::copy(sample, document)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(sample));
        return 1;
    }
    Settings settings;
    settings.WinW = 1024;
    settings.WinH = 660;
    settings.WordWrap = 1;
    settings.FontName = QStringLiteral("DejaVu Sans Mono");
    settings.FontSize = 10;
    WriteSettingsFile(home.settingsFile(), settings);
    const QStringList env = home.environment();

    // Another build can be captured with QUILLDOWN_BINARY=path.
    const QString program = qEnvironmentVariable("QUILLDOWN_BINARY", QStringLiteral(QUILLDOWN_BINARY));
    // A window that never shows its page is started again, twice at most.
    bool shown = false;
    for (int attempt = 0; attempt < 3 && !shown; ++attempt) {
        session.start(program, {document}, env);
        shown = session.waitForWindow(30000) &&
                session.waitForPixels(PreviewArea(session.windowRect()), TextShown, 60000) >= 0;
        if (!shown)
            session.stop();
    }
    if (!shown) {
        std::fprintf(stderr, "the window or its preview page did not appear (is pandoc installed?)\n");
        return 1;
    }
    const QRect window(QPoint(0, 0), session.windowRect().size());
    // A picture with blank editors would tell a lie about the program: no picture then.
    if (session.waitForPixels(EditorArea(window), TextShown, 20000) < 0) {
        session.stop();
        std::fprintf(stderr, "the window shows no text in the Markdown editor\n");
        return 1;
    }
    if (!waitUntilStill(session, window, 30000))
        std::fprintf(stderr, "the window kept changing; capturing it as it is\n");
    const QByteArray pixels = session.grab(window);
    session.stop();
    if (pixels.size() != qsizetype(window.width()) * window.height() * 4) {
        std::fprintf(stderr, "could not read the window's pixels\n");
        return 1;
    }
    const QImage image = QImage(reinterpret_cast<const uchar *>(pixels.constData()), window.width(), window.height(),
                                window.width() * 4, QImage::Format_RGB32)
                             .copy();
    // Quality 0 asks the PNG writer for its strongest compression.
    if (!image.save(output, "PNG", 0)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(output));
        return 1;
    }
    std::printf("%s: %dx%d\n", qPrintable(output), window.width(), window.height());
    return 0;
}
