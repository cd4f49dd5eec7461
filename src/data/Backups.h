#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>

namespace lumaro {

class Database;

// How many daily backups are kept: every one of the last `days` days, and the
// first of each of the last `months` months (this month included).
struct BackupKeep {
    int days = 30;
    int months = 12;
};

// The "backups" folder beside a shop file.
QString backupFolder(const QString& shopFile);

// Today's backup of a shop file, taken the same safe way as lumaro-admin
// backup, as backups/<name>-YYYY-MM-DD.db; then the backups the keep rule no
// longer needs are removed. Returns the new backup's path, or an empty text
// when today's backup is already there or the shop is on a server (the
// server is backed up with pg_dump). Throws DataError naming the file.
QString takeDailyBackup(Database& db, const QDate& today, const BackupKeep& keep);

// Removes the dated backups of the shop file named baseName (its name without
// ".db") in folder that the keep rule does not keep; other files are never
// touched. Returns the paths removed.
QStringList pruneBackups(const QString& folder, const QString& baseName, const QDate& today, const BackupKeep& keep);

// Puts backup in the place of the shop file target: the backup is checked
// first (a shop's tables, SQLite's integrity check) and copied beside target;
// only then is the current file set aside as
// <target>.before-restore-YYYYMMDD-HHMMSS and the copy renamed into its place.
// Refuses while another program has target open. Returns where the former
// file was set aside (empty when there was none). Throws DataError.
QString restoreShop(const QString& backup, const QString& target, const QDateTime& now);

} // namespace lumaro
