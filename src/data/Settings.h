#pragma once

#include <QString>

namespace lumaro {

class Database;

// The shop's settings, kept in the shop file's 設定表.
namespace settings {

namespace key {
inline const QString ShopName = QStringLiteral("店名");
inline const QString ShopAddress = QStringLiteral("地址");
inline const QString ShopPhone = QStringLiteral("電話");
inline const QString ReceiptAfterCheckout = QStringLiteral("結帳後列印收據");
inline const QString LowStockLevel = QStringLiteral("低庫存水準");
inline const QString BackupDays = QStringLiteral("備份保留天數");
inline const QString BackupMonths = QStringLiteral("備份保留月數");
inline const QString IdleLockMinutes = QStringLiteral("閒置自動鎖定");
inline const QString PasswordEmpty = QStringLiteral("密碼空白");
} // namespace key

QString get(Database& db, const QString& key, const QString& fallback = {});
void set(Database& db, const QString& key, const QString& value);

} // namespace settings

} // namespace lumaro
