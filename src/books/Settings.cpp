#include "books/Settings.h"

#include "data/Database.h"
#include "data/Schema.h"
#include "data/Statements.h"

namespace lumaro::settings {

namespace {

using namespace schema;

QString getSql() { return statement("SELECT {s.value} FROM {S} WHERE {s.key} = ?"); }

QString setSql()
{
    return statement("INSERT INTO {S} ({s.key}, {s.value}) VALUES (?, ?) "
                     "ON CONFLICT ({s.key}) DO UPDATE SET {s.value} = excluded.{s.value}");
}

} // namespace

QList<Statement> statements(Database::Kind)
{
    return {
        {QStringLiteral("settings: get"), getSql()},
        {QStringLiteral("settings: set"), setSql()},
    };
}

QString defaultValue(const QString& k)
{
    if (k == key::ReceiptAfterCheckout || k == key::IdleLockMinutes || k == key::PurchaseAskBelowZero)
        return QStringLiteral("0");
    if (k == key::LowStockLevel)
        return QStringLiteral("5");
    if (k == key::BackupDays)
        return QStringLiteral("30");
    if (k == key::BackupMonths)
        return QStringLiteral("12");
    if (k == key::DiscountCap)
        return QStringLiteral("100");
    return QString();
}

QString get(Database& db, const QString& k, const QString& fallback)
{
    QSqlQuery q = db.exec(getSql(), {k});
    const bool found = q.next();
    const QVariant v = found ? q.value(0) : QVariant();
    q.finish();
    if (found && !v.isNull())
        return v.toString();
    return fallback.isNull() ? defaultValue(k) : fallback;
}

void set(Database& db, const QString& k, const QString& value) { db.exec(setSql(), {k, value}).finish(); }

} // namespace lumaro::settings
