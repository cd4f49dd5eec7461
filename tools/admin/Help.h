#pragma once

#include <QString>

namespace lumaro::admin {

// What lumaro-admin --help shows: every command, one or two lines each.
QString programHelp();

// What `lumaro-admin COMMAND --help` shows: how to call it, what it does and
// its options. Empty for a name that is no command.
QString commandHelp(const QString& command);

// The shop a command works on: the one named, else the one lumaro itself would
// open (see ShopLocation.h), told on standard error so that standard output
// stays the command's own.
QString chosenShop(const QString& named);

} // namespace lumaro::admin
