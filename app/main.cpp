#include "core/AppState.h"
#include "app/BuildInfo.h"
#include "app/CommandLine.h"
#include "app/PreviewHost.h"
#include "app/Startup.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char **argv)
{
    const CommandLine commandLine = ParseCommandLine(argc, argv);
    if (commandLine.action == CommandLineAction::Help) {
        std::fputs(CommandLineUsage(), stdout);
        return 0;
    }
    if (commandLine.action == CommandLineAction::Version) {
        std::printf("Quilldown %s (%s)\n", kQuilldownVersion, BuildDate());
        return 0;
    }
    if (commandLine.action == CommandLineAction::Unknown) {
        std::fputs(UnknownOptionMessage(commandLine.unknownOption).toLocal8Bit().constData(), stderr);
        return kCommandLineMisuse;
    }
    EngineEnvironment engine;
    QApplication application(argc, argv);
    engine.settle();
    QApplication::setApplicationName(QStringLiteral("Quilldown"));
    QApplication::setDesktopFileName(QStringLiteral("org.quilldown.Quilldown"));
    EndOnTerminationSignals(&application);
    if (!StartApplication({QApplication::arguments().value(0), commandLine.file}))
        return Shutdown();
    // A termination signal during start-up has already asked to end.
    if (!app().quit.load())
        QApplication::exec();
    return Shutdown();
}
