#include "data/Backups.h"

#include "data/DataError.h"
#include "data/Database.h"
#include "data/Maintenance.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

#include <fcntl.h>
#include <unistd.h>

namespace lumaro {

namespace {

QString shown(const QString& file) { return QDir::toNativeSeparators(QFileInfo(file).absoluteFilePath()); }

void syncPath(const QString& path, bool directory)
{
    const int fd = ::open(QFile::encodeName(path).constData(), directory ? O_RDONLY | O_DIRECTORY : O_RDONLY);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

QString datedName(const QString& baseName, const QDate& day)
{
    return QStringLiteral("%1-%2.db").arg(baseName, day.toString(QStringLiteral("yyyy-MM-dd")));
}

} // namespace

QString backupFolder(const QString& shopFile)
{
    return QFileInfo(shopFile).absoluteDir().filePath(QStringLiteral("backups"));
}

QString takeDailyBackup(Database& db, const QDate& today, const BackupKeep& keep)
{
    if (!db.isSQLite())
        return {};
    const QString folder = backupFolder(db.target());
    if (!QDir().mkpath(folder))
        throw DataError(QStringLiteral("無法建立備份資料夾「%1」：沒有寫入權限，或磁碟是唯讀的。").arg(shown(folder)));
    // The backups hold the shop's money and password hash: the owner's alone.
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString baseName = QFileInfo(db.target()).completeBaseName();
    const QString dest = QDir(folder).filePath(datedName(baseName, today));
    if (QFileInfo::exists(dest))
        return {};
    try {
        backupShop(db, dest);
    } catch (const DataError& e) {
        if (QFileInfo::exists(dest)) // another terminal on this file was quicker
            return {};
        if (e.description().contains(shown(dest)))
            throw;
        throw DataError(QStringLiteral("無法寫入備份檔「%1」：%2").arg(shown(dest), e.description()));
    }
    pruneBackups(folder, baseName, today, keep);
    return dest;
}

QStringList pruneBackups(const QString& folder, const QString& baseName, const QDate& today, const BackupKeep& keep)
{
    const QRegularExpression dated(
        QStringLiteral("^%1-(\\d{4}-\\d{2}-\\d{2})\\.db$").arg(QRegularExpression::escape(baseName)));
    QMap<QDate, QString> backups; // sorted by day
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files)) {
        const QRegularExpressionMatch m = dated.match(name);
        if (!m.hasMatch())
            continue;
        const QDate day = QDate::fromString(m.captured(1), QStringLiteral("yyyy-MM-dd"));
        if (day.isValid())
            backups.insert(day, dir.filePath(name));
    }

    // Today's backup is always kept, whatever the settings say.
    const QDate firstDaily = today.addDays(-(std::max(keep.days, 1) - 1));
    const QDate thisMonth(today.year(), today.month(), 1);
    const QDate firstMonthly = thisMonth.addMonths(-(std::max(keep.months, 0) - 1));
    QSet<int> monthsKept; // year * 12 + month
    QStringList removed;
    for (auto it = backups.cbegin(); it != backups.cend(); ++it) {
        const QDate day = it.key();
        const int month = day.year() * 12 + day.month();
        bool keepIt = day >= firstDaily || day > today; // a clock set back must not cost a backup
        if (keep.months > 0 && day >= firstMonthly && !monthsKept.contains(month)) {
            monthsKept.insert(month); // the month's first backup stands for it
            keepIt = true;
        }
        if (!keepIt && QFile::remove(it.value()))
            removed << it.value();
    }
    return removed;
}

QString restoreShop(const QString& backup, const QString& target, const QDateTime& now)
{
    if (Database::isPostgresUrl(target))
        throw DataError(QStringLiteral("PostgreSQL 的資料庫請用 pg_restore（或 psql）從 pg_dump 的備份還原。"));
    const QFileInfo source(backup);
    if (!source.isFile())
        throw DataError(QStringLiteral("找不到備份檔「%1」。").arg(shown(backup)));
    const QFileInfo place(target);
    if (source.absoluteFilePath() == place.absoluteFilePath())
        throw DataError(QStringLiteral("備份檔不能是資料檔本身。"));
    if (!place.absoluteDir().exists())
        throw DataError(QStringLiteral("資料夾「%1」不存在。").arg(shown(place.absolutePath())));

    // A consistent copy of the backup beside the shop, checked before the
    // current file is touched. The copy is made by SQLite, so a backup that
    // was itself opened (and has a -wal beside it) comes over whole.
    const QString copy =
        place.absoluteDir().filePath(QStringLiteral(".%1.restore-%2")
                                         .arg(place.fileName())
                                         .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
    try {
        std::unique_ptr<Database> from;
        try {
            // Read only: the backup itself is never changed.
            from = Database::openReadOnly(source.absoluteFilePath());
        } catch (const DataError& e) {
            throw DataError(QStringLiteral("備份檔「%1」無法使用：%2").arg(shown(backup), e.description()));
        }
        const ShopCheck c = checkShop(*from);
        if (c.damaged())
            throw DataError(
                QStringLiteral("備份檔「%1」已損壞：%2").arg(shown(backup), c.integrity.join(QLatin1Char(' '))));
        backupShop(*from, copy);
    } catch (...) {
        QFile::remove(copy);
        throw;
    }

    // Opening and closing the current file folds its write-ahead log into it;
    // a log still there afterwards means another program has it open.
    const QString wal = place.absoluteFilePath() + QStringLiteral("-wal");
    if (place.exists()) {
        bool opened = false;
        try {
            Database::open(place.absoluteFilePath());
            opened = true;
        } catch (const DataError&) {
            // A damaged file is exactly what a restore is for: it is set aside as it is.
        }
        if (opened && QFileInfo::exists(wal)) {
            QFile::remove(copy);
            throw DataError(
                QStringLiteral("資料檔「%1」正在使用中：請先關閉每一個開著它的 Lumaro，再還原。").arg(shown(target)));
        }
    }

    QString aside;
    if (place.exists()) {
        aside = place.absoluteFilePath() + QStringLiteral(".before-restore-") +
                now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
        if (QFileInfo::exists(aside) || !QFile::rename(place.absoluteFilePath(), aside)) {
            QFile::remove(copy);
            throw DataError(QStringLiteral("無法把資料檔「%1」改名保留：資料夾無法寫入。").arg(shown(target)));
        }
        for (const QString& suffix : {QStringLiteral("-wal"), QStringLiteral("-shm")})
            if (QFileInfo::exists(place.absoluteFilePath() + suffix))
                QFile::rename(place.absoluteFilePath() + suffix, aside + suffix);
    }
    if (!QFile::rename(copy, place.absoluteFilePath())) {
        if (!aside.isEmpty())
            QFile::rename(aside, place.absoluteFilePath());
        QFile::remove(copy);
        throw DataError(QStringLiteral("無法把備份放到「%1」：資料夾無法寫入。").arg(shown(target)));
    }
    syncPath(place.absolutePath(), true);
    return aside;
}

} // namespace lumaro
