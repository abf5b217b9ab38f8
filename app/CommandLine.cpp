#include "app/CommandLine.h"

#include <QFile>
#include <QStringList>
#include <array>
#include <cstring>
#include <string_view>

namespace {

// QGuiApplication and its xcb plugin take these out of the arguments themselves; a
// session manager restarting the program passes -session, a user may pick -platform.
constexpr std::array kQtOptionsWithValue{
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowicon",
    "qwindowtitle", "session", "style", "stylesheet", "display", "geometry", "title", "name", "visual"};
constexpr std::array kQtFlags{"reverse", "widgetcount", "nograb", "dograb", "sync", "qwindowalwaysontop"};

// Qt reads "-option" and "--option" alike; its value may follow as "-option=value" too.
bool isQtOption(std::string_view argument, bool *takesValue)
{
    std::string_view name = argument.substr(argument.starts_with("--") ? 2 : 1);
    const size_t equals = name.find('=');
    const bool valueAttached = equals != std::string_view::npos;
    if (valueAttached)
        name = name.substr(0, equals);
    for (const char *option : kQtOptionsWithValue) {
        if (name == option) {
            *takesValue = !valueAttached;
            return true;
        }
    }
    if (name.starts_with("qmljsdebugger") && valueAttached) {
        *takesValue = false;
        return true;
    }
    for (const char *flag : kQtFlags) {
        if (name == flag && !valueAttached) {
            *takesValue = false;
            return true;
        }
    }
    return false;
}

} // namespace

CommandLine ParseCommandLine(int argc, const char *const *argv)
{
    CommandLine result;
    bool optionsEnded = false;
    bool haveFile = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        const bool option = !optionsEnded && argument.size() > 1 && argument.front() == '-';
        if (!option) {
            if (!haveFile)
                result.file = QFile::decodeName(argv[i]);
            haveFile = true;
            continue;
        }
        bool takesValue = false;
        if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "-h" || argument == "--help") {
            result.action = CommandLineAction::Help;
            return result;
        } else if (argument == "-v" || argument == "--version") {
            result.action = CommandLineAction::Version;
            return result;
        } else if (isQtOption(argument, &takesValue)) {
            // Its value is Qt's too, even when it starts with '-'.
            if (takesValue)
                ++i;
        } else {
            result.action = CommandLineAction::Unknown;
            result.unknownOption = QFile::decodeName(argv[i]);
            return result;
        }
    }
    return result;
}

const char *CommandLineUsage()
{
    return "Usage: quilldown [FILE]\n"
           "A Markdown editor with a live HTML preview rendered by Pandoc.\n"
           "\n"
           "Opens FILE when it names an existing file, else starts with a new document.\n"
           "\n"
           "Options:\n"
           "  -h, --help       show this help and exit\n"
           "  -v, --version    show the version and exit\n";
}

QString UnknownOptionMessage(const QString &option)
{
    return QStringLiteral("quilldown: unknown option '%1'\nTry 'quilldown --help' for more information.\n").arg(option);
}
