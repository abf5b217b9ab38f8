#include "core/AppState.h"
#include "app/BuildInfo.h"
#include "app/PreviewHost.h"
#include "app/Startup.h"

#include <QApplication>
#include <cstdio>
#include <cstring>

namespace {

const char usage[] =
    "Usage: quilldown [FILE]\n"
    "A Markdown editor with a live HTML preview rendered by Pandoc.\n"
    "\n"
    "Opens FILE when it names an existing file, else starts with a new document.\n"
    "\n"
    "Options:\n"
    "  --help       show this help and exit\n"
    "  --version    show the version and exit\n";

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("Quilldown %s (%s)\n", kQuilldownVersion, BuildDate());
        return 0;
    }
    EngineEnvironment engine;
    QApplication application(argc, argv);
    engine.settle();
    QApplication::setApplicationName(QStringLiteral("Quilldown"));
    QApplication::setDesktopFileName(QStringLiteral("org.quilldown.Quilldown"));
    EndOnTerminationSignals(&application);
    if (!StartApplication(QApplication::arguments()))
        return Shutdown();
    // A termination signal during start-up has already asked to end.
    if (!app().quit.load())
        QApplication::exec();
    return Shutdown();
}
