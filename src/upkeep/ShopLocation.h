#pragma once

#include <QString>

namespace lumaro::location {

// Where a shop is looked for when none is named on the command line:
// 1. teadata.db in the working folder (a shop started where its file is);
// 2. teadata.mdb there: a shop moving in from the old program gets its new
//    file beside the old one;
// 3. the last shop this user opened, while it is still there;
// 4. teadata.db in the standard data folder, where a shop started from the
//    desktop menu lives.
struct Found {
    QString target;     // an absolute file path or a postgresql:// URL
    QString legacyFile; // the old program's file to offer for import, or empty
};
Found findShop(const QString& workingFolder, const QString& remembered, const QString& standardFolder);

// ~/.local/share/lumaro on Linux.
QString standardFolder();

// The name both programs give the application: the standard data folder and
// the settings that remember the last shop follow it, so lumaro-admin finds
// the shop lumaro opened.
QString applicationName();

// The shop as the rules above find it from the working folder, for a program
// that was given none.
Found findShopHere();

// The last shop opened, kept in the user's own settings (never a server
// password, nor a daily backup opened to look something up).
QString rememberedShop();
void rememberShop(const QString& target);

} // namespace lumaro::location
