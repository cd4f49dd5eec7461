#include "books/MoneyMoves.h"

#include "base/DisplayText.h"
#include "base/Failures.h"
#include "base/Numbers.h"
#include "books/Books.h"
#include "books/Kinds.h"
#include "books/Moves.h"
#include "data/Database.h"
#include "data/Schema.h"
#include "data/Statements.h"
#include "data/Transaction.h"

#include <QSqlQuery>

#include <cmath>

namespace lumaro::money {

QString chooseTeaFirstText() { return QStringLiteral("請先選擇茶葉"); }
QString cashShortText() { return QStringLiteral("店內沒那麼多現金啦"); }
QString cashShortTitle() { return QStringLiteral("現金不足"); }
QString bankShortText() { return QStringLiteral("銀行沒那麼多錢啦"); }
QString bankShortTitle() { return QStringLiteral("存款不足"); }
QString negativeAmountText() { return QStringLiteral("金額不可為負數"); }
QString negativeAmountTitle() { return QStringLiteral("金額錯誤"); }

namespace {

using namespace schema;

// With the tea's unit, which the purchase is in and its journal row names.
QString teaToBuySql()
{
    return statement("SELECT {t.cost}, {t.stock}, {t.name}, {1} FROM {T} WHERE {t.number} = ?",
                     {schema::unitOfTea(schema::statement("{T}.{t.number}"))});
}

} // namespace

QList<Statement> statements(Database::Kind)
{
    return {
        {QStringLiteral("money: tea to buy"), teaToBuySql()},
    };
}

namespace {

// Moves amount from cash to bank (toBank) or from bank to cash, both in one
// transaction with its journal row.
void move(Database& db, Money amount, bool toBank, const QString& moveId)
{
    if (amount < Money())
        throw MoveRefused(negativeAmountText(), negativeAmountTitle());
    moves::run(db,
               {toBank ? moves::kind::Deposit : moves::kind::Withdrawal,
                [&](moves::Plan& p) {
                    const moves::AccountRow& a = p.account();
                    // The balance as the screen shows it, so that a stored
                    // 999.99999 still covers 1000 when the box says 1000.
                    if ((toBank ? a.cash : a.bank) < amount) {
                        if (toBank)
                            throw MoveRefused(cashShortText(), cashShortTitle());
                        throw MoveRefused(bankShortText(), bankShortTitle());
                    }
                    books::Entry e;
                    e.cash = toBank ? -amount : amount;
                    e.bank = toBank ? amount : -amount;
                    p.add(e);
                }},
               moveId);
}

} // namespace

void deposit(Database& db, Money amount, const QString& moveId) { move(db, amount, true, moveId); }

void withdraw(Database& db, Money amount, const QString& moveId) { move(db, amount, false, moveId); }

void transfer(Database& db, Money amountToBank, const QString& moveId)
{
    if (amountToBank < Money())
        withdraw(db, -amountToBank, moveId);
    else
        deposit(db, amountToBank, moveId);
}

Money typedAmount(double typed, const QString& what)
{
    requireShopNumber(typed, what);
    return Money::fromDouble(typed);
}

void purchase(Database& db, const QString& tea, Money kg, const QString& moveId)
{
    purchase(db, tea, kg, Paid{}, moveId);
}

void purchase(Database& db, const QString& tea, Money kg, const Paid& paid, const QString& moveId)
{
    if (tea.isEmpty())
        throw MoveRefused(chooseTeaFirstText());
    if (paid.amount && *paid.amount < Money())
        throw MoveRefused(QStringLiteral("付款金額不能是負數。"), QStringLiteral("進貨"));
    // Paying for nothing bought is no purchase: money out of the drawer with
    // no tea for it belongs with the cash screen.
    if (paid.amount && *paid.amount != Money() && kg == Money())
        throw MoveRefused(QStringLiteral("進貨數量是 0，不能付款 %1 元。").arg(paid.amount->toString()),
                          QStringLiteral("進貨"));
    moves::run(db,
               {moves::kind::Purchase,
                [&](moves::Plan& p) {
                    QSqlQuery q = db.exec(teaToBuySql(), {tea});
                    if (!q.next())
                        throw MoveRefused(QStringLiteral("找不到編號「%1」的茶葉，它可能已被刪除。").arg(tea));
                    const QVariant price = q.value(0);
                    const Money stock = Money::fromStored(q.value(1));
                    const QVariant name = q.value(2);
                    const QString unit = q.value(3).toString();
                    q.finish();
                    books::Entry e;
                    if (paid.amount) {
                        // The price per unit as paid; a return to the supplier
                        // brings the amount back.
                        const Money amount = *paid.amount;
                        if (kg != Money())
                            e.unitPrice = Money::fromDouble(amount.toDouble() / std::abs(kg.toDouble())).toDouble();
                        (paid.fromBank ? e.bank : e.cash) = kg < Money() ? amount : -amount;
                    } else {
                        if (price.isNull())
                            throw MoveRefused(QStringLiteral("此茶葉沒有進價"));
                        if (!isShopNumber(price.toDouble()))
                            throw MoveRefused(
                                QStringLiteral("此茶葉的進價不是可以計算的數值（%1），請先在「編輯茶葉種類」改正進價。")
                                    .arg(displayText(price)));
                        requireShopNumber(kg.toDouble() * price.toDouble(), QStringLiteral("進貨金額"));
                        e.unitPrice = Money::fromStored(price).toDouble();
                        (paid.fromBank ? e.bank : e.cash) = -(Money::fromStored(price) * kg);
                    }
                    p.account();
                    (void)(stock + kg); // refuses a stock out of range
                    e.tea = tea;
                    e.teaName = name;
                    e.stock = kg;
                    e.unit = unit;
                    e.note = paid.note.trimmed();
                    p.add(e);
                }},
               moveId);
}

std::optional<Money> purchaseCost(Database& db, const QString& tea, Money kg)
{
    QSqlQuery q = db.exec(teaToBuySql(), {tea});
    if (!q.next())
        return std::nullopt;
    const QVariant price = q.value(0);
    q.finish();
    if (price.isNull() || !isShopNumber(price.toDouble()) || !isShopNumber(price.toDouble() * kg.toDouble()))
        return std::nullopt;
    return Money::fromStored(price) * kg;
}

namespace {

books::Entry adjustment(Money cashDelta, const QString& reason)
{
    books::Entry e;
    e.cash = cashDelta;
    e.note = reason;
    return e;
}

} // namespace

void adjust(Database& db, Money cashDelta, const QString& reason, const QString& moveId)
{
    moves::run(db, {moves::kind::Adjustment, [&](moves::Plan& p) { p.add(adjustment(cashDelta, reason)); }}, moveId);
}

CashChanged::CashChanged(Money seen, Money now)
    : MoveRefused(QStringLiteral("帳上現金剛從 %1 變成 %2（可能是另一台電腦記了帳），這次的差額沒有存下。")
                      .arg(seen.toString(), now.toString())),
      m_now(now)
{
}

Money countCash(Database& db, Money counted, Money bookCash, const QString& reason, const QString& moveId)
{
    Money difference;
    const moves::Outcome done = moves::run(db,
                                           {moves::kind::Adjustment,
                                            [&](moves::Plan& p) {
                                                // Read after the move has taken its lock, never before: a
                                                // terminal that stored the same count a moment ago has
                                                // changed it by now.
                                                const moves::AccountRow& a = p.account();
                                                if (a.cash != bookCash)
                                                    throw CashChanged(bookCash, a.cash);
                                                difference = counted - a.cash;
                                                if (difference != Money())
                                                    p.add(adjustment(difference, reason));
                                            }},
                                           moveId);
    return done == moves::Outcome::Found ? counted - bookCash : difference;
}

} // namespace lumaro::money
