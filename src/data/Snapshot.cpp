#include "data/Snapshot.h"

#include "data/DataError.h"
#include "data/Database.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace lumaro {

namespace {

bool syncPath(const QString& path, bool directory)
{
    const int fd = ::open(QFile::encodeName(path).constData(), directory ? O_RDONLY | O_DIRECTORY : O_RDONLY);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// A backup is taken on a connection that may be set to write nothing.
const QString kIsQueryOnly = QStringLiteral("PRAGMA query_only");
const QString kQueryOnlyOff = QStringLiteral("PRAGMA query_only=OFF");
const QString kCopyInto = QStringLiteral("VACUUM INTO ?");

} // namespace

void backupShop(Database& db, const QString& dest)
{
    if (!db.isSQLite())
        throw DataError(QStringLiteral("PostgreSQL 的資料庫請用 pg_dump 備份。"));
    if (dest.isEmpty())
        throw DataError(QStringLiteral("請指定備份檔的名稱。"));
    const QFileInfo info(dest);
    if (info.exists())
        throw DataError(
            QStringLiteral("備份檔「%1」已經存在，不會覆寫。").arg(QDir::toNativeSeparators(info.absoluteFilePath())));
    if (!info.absoluteDir().exists())
        throw DataError(QStringLiteral("資料夾「%1」不存在。").arg(QDir::toNativeSeparators(info.absolutePath())));
    if (QFileInfo(db.target()).absoluteFilePath() == info.absoluteFilePath())
        throw DataError(QStringLiteral("備份檔不能是資料檔本身。"));

    const QString temp =
        info.absoluteDir().filePath(QStringLiteral(".%1.backup-%2")
                                        .arg(info.fileName())
                                        .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0')));
    // Made owner-only before SQLite writes a byte: SQLite gives the copy's
    // journal the same mode, so a backup cut short leaves nothing others can read.
    const int fd = ::open(QFile::encodeName(temp).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        throw DataError(
            QStringLiteral("無法在「%1」建立備份檔：%2")
                .arg(QDir::toNativeSeparators(info.absolutePath()), QString::fromLocal8Bit(std::strerror(errno))));
    ::close(fd);
    try {
        // VACUUM INTO writes only the copy, but a connection that is set to
        // write nothing refuses it. The setting is put back as it was: the
        // program's own connection backs up the day's work and goes on writing.
        const bool queryOnly = db.scalar(kIsQueryOnly).toInt() != 0;
        db.exec(kQueryOnlyOff);
        try {
            db.exec(kCopyInto, {temp});
        } catch (...) {
            if (queryOnly)
                db.exec(sqliteQueryOnlySql());
            throw;
        }
        if (queryOnly)
            db.exec(sqliteQueryOnlySql());
        if (!syncPath(temp, false))
            throw DataError(
                QStringLiteral("備份檔「%1」無法寫入磁碟。").arg(QDir::toNativeSeparators(info.absoluteFilePath())));
        if (!QFile::rename(temp, dest))
            throw DataError(QStringLiteral("無法把備份存成「%1」（檔案已經存在或資料夾無法寫入）。")
                                .arg(QDir::toNativeSeparators(info.absoluteFilePath())));
        syncPath(info.absolutePath(), true);
    } catch (...) {
        QFile::remove(temp);
        QFile::remove(temp + QStringLiteral("-journal"));
        throw;
    }
}

QList<Statement> snapshotStatements(Dialect dialect)
{
    if (dialect != Dialect::SQLite)
        return {};
    const QString m = QStringLiteral("snapshot: ");
    return {
        {m + QStringLiteral("query only?"), kIsQueryOnly},
        {m + QStringLiteral("query only"), sqliteQueryOnlySql()},
        {m + QStringLiteral("writable"), kQueryOnlyOff},
        {m + QStringLiteral("backup"), kCopyInto},
    };
}

} // namespace lumaro
