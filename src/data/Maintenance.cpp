#include "data/Maintenance.h"

#include "data/DataError.h"
#include "data/Database.h"
#include "data/Money.h"
#include "data/MoneyMoves.h"
#include "data/Schema.h"
#include "data/Upgrade.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRandomGenerator>
#include <QSqlQuery>

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
        const bool queryOnly = db.scalar(QStringLiteral("PRAGMA query_only")).toInt() != 0;
        db.exec(QStringLiteral("PRAGMA query_only=OFF"));
        try {
            db.exec(QStringLiteral("VACUUM INTO ?"), {temp});
        } catch (...) {
            if (queryOnly)
                db.exec(QStringLiteral("PRAGMA query_only=ON"));
            throw;
        }
        if (queryOnly)
            db.exec(QStringLiteral("PRAGMA query_only=ON"));
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

namespace {

// Every balance and stock against the opening rows plus the journal, added
// exactly (Money), so that any change made behind the program's back shows.
void auditBooks(Database& db, ShopCheck& c)
{
    Money cash, bank;
    QMap<QString, Money> stock;
    QSqlQuery q = db.exec(QStringLiteral("SELECT 茶葉編號, 庫存變動, 現金變動, 銀行變動 FROM 帳務日誌表"));
    while (q.next()) {
        if (!q.value(0).isNull())
            stock[q.value(0).toString()] += Money::fromStored(q.value(1));
        cash += Money::fromStored(q.value(2));
        bank += Money::fromStored(q.value(3));
    }
    q.finish();

    auto mismatch = [&](const QString& table, const QString& row, const QString& column, const QVariant& stored,
                        Money expected) {
        if (Money::fromStored(stored) != expected)
            c.books << ShopCheck::Mismatch{table, row, column,
                                           stored.isNull() ? QStringLiteral("（空白）")
                                                           : Money::fromStored(stored).toString(),
                                           expected.toString()};
    };
    const money::AccountRow account = money::accountRow(db);
    const QString row = QStringLiteral("%1 = %2").arg(schema::account::Id, account.id.toString());
    const QVariant storedCash = db.scalar(QStringLiteral("SELECT 現金 FROM 帳款資料表 WHERE 帳號 = ?"), {account.id});
    const QVariant storedBank = db.scalar(QStringLiteral("SELECT 銀行 FROM 帳款資料表 WHERE 帳號 = ?"), {account.id});
    mismatch(schema::AccountTable, row, schema::account::Cash, storedCash, cash);
    mismatch(schema::AccountTable, row, schema::account::Bank, storedBank, bank);

    q = db.exec(QStringLiteral("SELECT 編號, 庫存 FROM 茶葉資料表 ORDER BY 編號"));
    while (q.next()) {
        const QString tea = q.value(0).toString();
        mismatch(schema::TeaTable, QStringLiteral("%1 = %2").arg(schema::tea::Number, tea), schema::tea::Stock,
                 q.value(1), stock.value(tea));
    }
    q.finish();
}

} // namespace

ShopCheck checkShop(Database& db)
{
    ShopCheck c;
    c.version = upgrade::versionOf(db);
    if (db.isSQLite()) {
        QSqlQuery q = db.exec(QStringLiteral("PRAGMA integrity_check"));
        while (q.next())
            c.integrity << q.value(0).toString();
    } else {
        c.integrity << QStringLiteral("ok"); // the server keeps its own files sound
    }

    QSqlQuery q = db.exec(QStringLiteral(
        "SELECT d.明細編號, d.訂單編號, d.茶葉編號, o.訂單編號 IS NULL, t.編號 IS NULL FROM 訂單明細表 d "
        "LEFT JOIN 訂單資料表 o ON o.訂單編號 = d.訂單編號 LEFT JOIN 茶葉資料表 t ON t.編號 = d.茶葉編號 "
        "WHERE o.訂單編號 IS NULL OR t.編號 IS NULL ORDER BY d.明細編號"));
    while (q.next())
        c.orphanLines << ShopCheck::OrphanLine{q.value(0).toLongLong(), q.value(1), q.value(2), q.value(3).toBool(),
                                               q.value(4).toBool()};

    q = db.exec(QStringLiteral("SELECT 編號, 名稱, 庫存 FROM 茶葉資料表 WHERE 庫存 < 0 ORDER BY 編號"));
    while (q.next())
        c.negativeStock << ShopCheck::Stock{q.value(0).toString(), q.value(1), q.value(2).toDouble()};

    q = db.exec(
        QStringLiteral("SELECT 訂單編號, 訂單狀態 FROM 訂單資料表 WHERE 訂單狀態 NOT IN (0, 1) ORDER BY 訂單編號"));
    while (q.next())
        c.badStatus << ShopCheck::Status{q.value(0).toLongLong(), q.value(1).toLongLong()};

    struct NumberColumn {
        const char* table;
        const char* key;
        const char* column;
    };
    static const NumberColumn numberColumns[] = {
        {"茶葉資料表", "編號", "進價"},     {"茶葉資料表", "編號", "訂價"}, {"茶葉資料表", "編號", "庫存"},
        {"訂單明細表", "明細編號", "數量"}, {"帳款資料表", "帳號", "現金"}, {"帳款資料表", "帳號", "銀行"},
    };
    for (const NumberColumn& n : numberColumns) {
        const QString table = QString::fromUtf8(n.table), key = QString::fromUtf8(n.key),
                      column = QString::fromUtf8(n.column);
        // PostgreSQL sorts NaN above every number, so the range test finds it
        // too; SQLite keeps no NaN but may hold text in a file of another tool.
        const QString bad = db.isSQLite() ? QStringLiteral("typeof(%1) NOT IN ('integer', 'real') OR abs(%1) > %2")
                                          : QStringLiteral("abs(%1::double precision) > %2");
        q = db.exec(QStringLiteral("SELECT %1, %2 FROM %3 WHERE %2 IS NOT NULL AND (%4) ORDER BY %1")
                        .arg(quoteIdentifier(key), quoteIdentifier(column), quoteIdentifier(table),
                             bad.arg(quoteIdentifier(column), QStringLiteral("1e12"))));
        while (q.next())
            c.badNumbers << ShopCheck::BadNumber{table, key, q.value(0).toString(), column, q.value(1)};
    }

    c.accountRows = db.scalar(QStringLiteral("SELECT count(*) FROM 帳款資料表")).toInt();
    if (c.accountRows > 0) {
        const money::StoredAccountRow a = money::storedAccountRow(db);
        c.cash = a.cash;
        c.bank = a.bank;
        // Books with a number no move can be worked out on cannot be audited;
        // those numbers are listed instead.
        if (c.version >= 2 && c.badNumbers.isEmpty())
            auditBooks(db, c);
    }
    q.finish();
    c.foreign = foreignObjects(db);
    return c;
}

} // namespace lumaro
