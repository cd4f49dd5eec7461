#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class QFont;

namespace lumaro {

class Database;

struct StartupOptions {
    QString database; // a file or a postgresql:// URL
    // No shop was named: look for one where the shop usually lives (see
    // ShopLocation.h) instead of taking database as it is.
    bool locate = false;
    bool help = false;
    bool version = false;
    QString error; // set when the arguments could not be read
};

// Reads the program's arguments (the program's name first). Needs no
// application object, so --help and --version work without a display.
StartupOptions parseArguments(const QStringList& args);
// The one line shown after wrong arguments, and the whole help of --help.
QString usageText();
QString helpText();

// Shows a wait cursor while a move waits for another terminal.
void installWaitCursor();

// The application's font with the shop's Chinese font first, so every
// screen shows its Chinese in one face.
QFont shopFont();

// Opens the shop named by the options, or found by the location rules,
// creating a new shop file through the first-run dialog when it is missing. Shows what went wrong
// and returns null when the program cannot go on. created, when given, tells
// whether the owner made a new shop here with a password typed twice (not an
// import, not a shop found in the chosen folder).
std::unique_ptr<Database> openShop(const StartupOptions& options, bool* created = nullptr);

} // namespace lumaro
