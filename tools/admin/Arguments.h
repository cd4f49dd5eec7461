#pragma once

#include <QCommandLineParser>
#include <QStringList>

#include <functional>
#include <optional>

namespace lumaro::admin {

// Reads a command's arguments (those after its name) into parser, which holds
// the command's options. Gives nothing when the command is to go on, else the
// exit code to end with: 2 for an unknown option, or an option without its
// value (refused with the command's Chinese message on standard error), 0 for
// --help or -h (the command's help shown on standard output, nothing done).
std::optional<int> parseCommand(QCommandLineParser& parser, const QString& command, const QStringList& args);

// Runs a command's body and gives its exit code. A Failure it throws is told on
// standard error, then afterFailure adds what the owner should also know (what
// was left as it was), and the exit code is 1.
int exitCodeOf(const std::function<int()>& body, const std::function<void()>& afterFailure = {});

// The usual shape of a command: one option that takes a value, and between
// fewestPlain and mostPlain plain arguments; usage is shown for any other count.
struct CommandShape {
    QString name;
    QString option;
    QString optionDefault; // the option's value when it is not given
    qsizetype fewestPlain = 0;
    qsizetype mostPlain = 0;
    QString usage;
};

// What a command of that shape was given.
struct CommandInput {
    QString option;
    QStringList plain;
};

// Reads args as shape says and runs body on them, as exitCodeOf does. Wrong
// arguments are told on standard error and give exit code 2.
int runCommand(const CommandShape& shape, const QStringList& args, const std::function<int(const CommandInput&)>& body,
               const std::function<void()>& afterFailure = {});

} // namespace lumaro::admin
