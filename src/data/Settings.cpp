#include "data/Settings.h"

#include "data/Database.h"

namespace lumaro::settings {

QString defaultValue(const QString& k)
{
    if (k == key::ReceiptAfterCheckout || k == key::IdleLockMinutes)
        return QStringLiteral("0");
    if (k == key::LowStockLevel)
        return QStringLiteral("5");
    if (k == key::BackupDays)
        return QStringLiteral("30");
    if (k == key::BackupMonths)
        return QStringLiteral("12");
    return QString();
}

QString get(Database& db, const QString& k, const QString& fallback)
{
    QSqlQuery q = db.exec(QStringLiteral("SELECT 內容 FROM 設定表 WHERE 項目 = ?"), {k});
    const bool found = q.next();
    const QVariant v = found ? q.value(0) : QVariant();
    q.finish();
    if (found && !v.isNull())
        return v.toString();
    return fallback.isNull() ? defaultValue(k) : fallback;
}

void set(Database& db, const QString& k, const QString& value)
{
    db.exec(QStringLiteral("INSERT INTO 設定表 (項目, 內容) VALUES (?, ?) "
                           "ON CONFLICT (項目) DO UPDATE SET 內容 = excluded.內容"),
            {k, value})
        .finish();
}

} // namespace lumaro::settings
