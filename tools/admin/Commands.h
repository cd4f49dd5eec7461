#pragma once

#include <QStringList>

namespace lumaro::admin {

// Each command takes the arguments after its name and returns the exit code.
int init(const QStringList& args);
int passwd(const QStringList& args);

} // namespace lumaro::admin
