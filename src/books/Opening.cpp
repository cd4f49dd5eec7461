#include "books/Opening.h"

#include "data/DataError.h"
#include "data/Database.h"
#include "data/Schema.h"
#include "data/Statements.h"

#include <QLocale>

#include <cmath>

namespace lumaro {

std::optional<Money> readOpeningAmount(const QString& text, QString* why)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return Money();
    bool ok = false;
    QLocale plain = QLocale::c();
    plain.setNumberOptions(QLocale::RejectGroupSeparator);
    const double x = plain.toDouble(t, &ok);
    if (!ok || !std::isfinite(x)) {
        *why = QStringLiteral("「%1」不是金額，請輸入數字，例如 5000 或 1234.5。").arg(t);
        return std::nullopt;
    }
    if (x < 0) {
        *why = QStringLiteral("期初金額不能是負數。");
        return std::nullopt;
    }
    try {
        return Money::fromDouble(x);
    } catch (const Failure&) {
        *why = QStringLiteral("「%1」太大了，金額最多 1000000000000。").arg(t);
        return std::nullopt;
    }
}

namespace {

QString balancesSql() { return schema::statement("UPDATE {A} SET {a.cash} = ?, {a.bank} = ?"); }

} // namespace

void setOpeningBalances(Database& db, const OpeningBalances& opening)
{
    setStoredBalances(db, opening.cash.toDouble(), opening.bank.toDouble());
}

void setStoredBalances(Database& db, const QVariant& cash, const QVariant& bank)
{
    db.exec(balancesSql(), {cash, bank});
}

QList<Statement> openingStatements(Database::Kind) { return {{QStringLiteral("opening: balances"), balancesSql()}}; }

} // namespace lumaro
