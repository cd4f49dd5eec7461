#pragma once

#include <QCommandLineParser>
#include <QStringList>

namespace lumaro::admin {

// Reads a command's arguments (those after its name) into parser, which holds
// the command's options. An unknown option, or an option without its value,
// is refused with the command's Chinese message on standard error.
bool parseCommand(QCommandLineParser& parser, const QString& command, const QStringList& args);

} // namespace lumaro::admin
