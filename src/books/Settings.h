#pragma once

#include "data/Statements.h"

#include <QString>

namespace lumaro {

class Database;

// The shop's own settings, kept in the shop (設定表) so every terminal of a
// shared database sees the same. Values are texts; a key never set reads as
// its default.
namespace settings {

namespace key {
inline const QString ShopName = QStringLiteral("店名");
inline const QString ShopAddress = QStringLiteral("地址");
inline const QString ShopPhone = QStringLiteral("電話");
inline const QString ReceiptAfterCheckout = QStringLiteral("結帳後列印收據"); // "1" or "0"
inline const QString LowStockLevel = QStringLiteral("低庫存水準");            // kg
inline const QString BackupDays = QStringLiteral("備份保留天數");
inline const QString BackupMonths = QStringLiteral("備份保留月數");
inline const QString IdleLockMinutes = QStringLiteral("閒置自動鎖定"); // 0: never
inline const QString PasswordEmpty = QStringLiteral("密碼空白");       // "1" or "0"
inline const QString PaymentMethods = QStringLiteral("付款方式");      // the list, kept by books/Payments
inline const QString DiscountCap = QStringLiteral("折扣上限");         // percent
// "1": a purchase that would take the cash or the bank below zero asks first.
inline const QString PurchaseAskBelowZero = QStringLiteral("進貨低於零時詢問");
} // namespace key

// What a key holds when it was never set: the fallback when one is given,
// else the key's own default ("0" for 結帳後列印收據, "5" for 低庫存水準, ...),
// else an empty text.
QString defaultValue(const QString& key);

QString get(Database& db, const QString& key, const QString& fallback = {});
// Stores the value, replacing what the key held. Joins the transaction under
// way, if any.
void set(Database& db, const QString& key, const QString& value);

} // namespace settings

} // namespace lumaro

namespace lumaro::settings {
// The statements of this unit, for the test that prepares every statement.
QList<Statement> statements(Dialect dialect);
} // namespace lumaro::settings
