#pragma once

#include <QString>

namespace lumaro::admin {

void out(const QString& text); // a line on standard output
void err(const QString& text); // a line on standard error

// Reads a password: asked twice with echo off on a terminal, else one line of
// standard input. Never from the command line, where others could see it.
// Returns false (with a message already printed) when none could be read, or
// when it is empty.
bool readNewPassword(QString* password);

} // namespace lumaro::admin
