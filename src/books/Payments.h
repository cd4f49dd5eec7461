#pragma once

#include "data/Statements.h"

#include "base/Money.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <optional>

namespace lumaro {

class Database;

// How the customer pays, and what is taken off: the shop's payment methods,
// each booked to the drawer (現金) or to the bank, and the discounts typed on
// the order screen before checkout.
namespace payments {

// The one method that is always there: the drawer's. Sales journaled before
// methods existed read as it.
inline const QString Cash = QStringLiteral("現金");

struct Method {
    QString name;
    bool bank = false;    // booked to 銀行; else to the drawer
    bool retired = false; // no longer offered; still read in the history
    bool operator==(const Method&) const = default;
};

// 現金 (drawer), then 刷卡, 行動支付 and 轉帳 (bank).
QList<Method> defaultMethods();

struct Methods {
    QList<Method> list;
    // The stored value could not be read: list is the defaults, and saving
    // replaces the damaged value.
    bool damaged = false;
};

// The list kept in 設定表 (settings key 付款方式); a key never set reads as
// the defaults.
Methods methods(Database& db);
// The methods offered at checkout: the list without the retired ones.
QList<Method> activeMethods(Database& db);
// The method of that name, or nothing when the list has none.
std::optional<Method> findMethod(const QList<Method>& list, const QString& name);

// Why a list cannot be kept, or empty: a name blank or given twice, 現金
// missing, retired or booked to the bank.
QString methodsProblem(const QList<Method>& list);
// Stores the list (within the caller's transaction, if any); fails with
// methodsProblem.
void saveMethods(Database& db, const QList<Method>& list);
// The stored text of a list, and back (nothing when it cannot be read).
QString methodsText(const QList<Method>& list);
std::optional<QList<Method>> readMethodsText(const QString& text);

// ---- Discounts -------------------------------------------------------------

// The cap (settings key 折扣上限, percent, 100 when never set) on the share
// of what it applies to any discount may take. A damaged value reads as 100.
Money discountCap(Database& db);
// Why a cap text cannot be kept, or empty.
QString capProblem(const QString& text);

// The amount a discount text takes off base: "50" takes 50, "10%" a tenth
// (to 1/10000, half away from zero). Fails (DataError) with a text naming
// what (這筆明細, 整張訂單) when it is negative, not a number, over the cap
// or more than base. An empty text takes nothing.
Money discountAmount(const QString& text, Money base, Money capPercent, const QString& what);

// The discounts typed on an order, read (or written) straight from their
// tables so every terminal sees them at once. An empty text removes one.
QString orderDiscount(Database& db, qlonglong order);
void setOrderDiscount(Database& db, qlonglong order, const QString& text);
QString lineDiscount(Database& db, qlonglong line);
void setLineDiscount(Database& db, qlonglong line, const QString& text);

} // namespace payments

} // namespace lumaro

namespace lumaro::payments {
// The statements of this unit, for the test that prepares every statement.
QList<Statement> statements(Dialect dialect);
} // namespace lumaro::payments
