#pragma once
// What the command line asks for, decided before the application (and with it the window
// system) starts, so that help, version and mistakes need no display.

#include <QString>

enum class CommandLineAction { Start, Help, Version, Unknown };

struct CommandLine {
    CommandLineAction action = CommandLineAction::Start;
    // Start: the document to open ("" for a new one). Unknown: the option as given.
    QString file;
    QString unknownOption;
};

// Reads argv[1..] left to right. -h/--help and -v/--version ask for their text; the
// options Qt itself reads (-platform NAME, -style NAME, -session ID, -reverse, ...) are
// left for it; any other word starting with '-' is an unknown option, except a lone "-",
// which is a file name. "--" ends the options, so "-- -x.md" opens the file "-x.md". The
// first file name is the document; the first help, version or unknown option decides.
CommandLine ParseCommandLine(int argc, const char *const *argv);

// "--help" text, and the two lines printed to stderr for an unknown option.
const char *CommandLineUsage();
QString UnknownOptionMessage(const QString &option);

// The exit status after an unknown option, as for any misuse of a command.
inline constexpr int kCommandLineMisuse = 2;
