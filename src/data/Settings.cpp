#include "data/Settings.h"

#include "data/Database.h"

namespace lumaro::settings {

QString get(Database& db, const QString& key, const QString& fallback)
{
    const QVariant v = db.scalar(QStringLiteral("SELECT 內容 FROM 設定表 WHERE 項目 = ?"), {key});
    return v.isNull() ? fallback : v.toString();
}

void set(Database& db, const QString& key, const QString& value)
{
    db.exec(QStringLiteral("DELETE FROM 設定表 WHERE 項目 = ?"), {key});
    db.exec(QStringLiteral("INSERT INTO 設定表 (項目, 內容) VALUES (?, ?)"), {key, value});
}

} // namespace lumaro::settings
