#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace lumaro {

class Database;

// How many daily backups are kept: every one of the last `days` days, and the
// first of each of the last `months` months (this month included). Besides,
// the KeepNewestBackups newest are always kept, whatever the clock says.
struct BackupKeep {
    int days = 30;
    int months = 12;
};
constexpr int KeepNewestBackups = 7;

// The "backups" folder beside a shop file.
QString backupFolder(const QString& shopFile);

// Today's backup of a shop file, taken the same safe way as lumaro-admin
// backup, as backups/<name>-YYYY-MM-DD.db; then the backups the keep rule no
// longer needs are removed. A backups folder Lumaro makes is the owner's
// alone; one that is there already (or a link to another folder) is left as
// it is. Returns the new backup's path, or an empty text when today's backup
// is already there or the shop is on a server (the server is backed up with
// pg_dump). Throws DataError naming the file.
QString takeDailyBackup(Database& db, const QDate& today, const BackupKeep& keep);

// Adds fileNames, backups Lumaro has just written into folder (oldest
// first), to the list kept there of the backups of the shop named baseName
// (its name without ".db"). Only files on that list are ever removed, and
// their order on it, not the dates in their names, tells which are the newest.
void noteBackups(const QString& folder, const QString& baseName, const QStringList& fileNames);

// Removes the listed backups of that shop that the keep rule does not keep;
// other files are never touched. A backup dated after today (written while the
// clock was ahead) counts as no newer than the next one written after it.
// Returns the paths removed.
QStringList pruneBackups(const QString& folder, const QString& baseName, const QDate& today, const BackupKeep& keep);

// Puts backup in the place of the shop file target (or of the file a link
// there points to). The backup is checked as lumaro-admin check does and copied
// beside the shop, and the copy checked again; it is refused, saying why,
// when it is damaged, when the program would not open or unlock it, or when it
// holds objects or balances Lumaro did not write. Refuses while any program
// has the shop file open, and holds it meanwhile. The current file is kept as
// <target>.before-restore-YYYYMMDD-HHMMSS (a number added when that is taken)
// and the copy renamed over it, so at every moment the shop's name holds a
// whole shop, the old one or the new one. Returns where the former file was
// kept (empty when there was none). Throws DataError.
QString restoreShop(const QString& backup, const QString& target, const QDateTime& now);

} // namespace lumaro
