#include "books/MoneyMoves.h"

#include "base/DisplayText.h"
#include "base/Failures.h"
#include "base/Numbers.h"
#include "books/Books.h"
#include "data/DataControl.h"
#include "data/DataError.h"
#include "data/Database.h"
#include "data/Schema.h"
#include "data/Statements.h"
#include "data/Transaction.h"

#include <QSqlQuery>

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

// The account row; a move on the server locks it for the rest of the move.
QString accountRowSql(bool lock)
{
    const QString sql = QStringLiteral("SELECT %1, %2, %3 FROM %4 ORDER BY %1 LIMIT 1")
                            .arg(account::Id, account::Cash, account::Bank, AccountTable);
    return lock ? sql + QStringLiteral(" FOR UPDATE") : sql;
}

QString addToCashSql(Database::Kind k)
{
    return QStringLiteral("UPDATE %1 SET %2 = %3 WHERE %4 = ?")
        .arg(AccountTable, account::Cash,
             Database::roundedAmount(k, QStringLiteral("COALESCE(%1, 0) + ?").arg(account::Cash)), account::Id);
}

QString addToBalancesSql(Database::Kind k)
{
    return QStringLiteral("UPDATE %1 SET %2 = %3, %4 = %5 WHERE %6 = ?")
        .arg(AccountTable, account::Cash,
             Database::roundedAmount(k, QStringLiteral("COALESCE(%1, 0) + ?").arg(account::Cash)), account::Bank,
             Database::roundedAmount(k, QStringLiteral("COALESCE(%1, 0) + ?").arg(account::Bank)), account::Id);
}

QString teaToBuySql()
{
    return QStringLiteral("SELECT %1, %2, %3 FROM %4 WHERE %5 = ?")
        .arg(tea::Cost, tea::Stock, tea::Name, TeaTable, tea::Number);
}

QString addToStockSql(Database::Kind k)
{
    return QStringLiteral("UPDATE %1 SET %2 = %3 WHERE %4 = ?")
        .arg(TeaTable, tea::Stock, Database::roundedAmount(k, QStringLiteral("COALESCE(%1, 0) + ?").arg(tea::Stock)),
             tea::Number);
}

} // namespace

QString accountRowSource() { return QStringLiteral("select * from %1 order by %2").arg(AccountTable, account::Id); }

QList<Statement> statements(Database::Kind k)
{
    QList<Statement> out = {
        {QStringLiteral("money: account row source"), accountRowSource()},
        {QStringLiteral("money: account row"), accountRowSql(false)},
        {QStringLiteral("money: add to cash"), addToCashSql(k)},
        {QStringLiteral("money: add to balances"), addToBalancesSql(k)},
        {QStringLiteral("money: tea to buy"), teaToBuySql()},
        {QStringLiteral("money: add to stock"), addToStockSql(k)},
    };
    if (k == Database::Kind::PostgreSQL)
        out << Statement{QStringLiteral("money: account row, locked"), accountRowSql(true)};
    return out;
}

StoredAccountRow storedAccountRow(Database& db)
{
    QSqlQuery q = db.exec(accountRowSql(!db.isSQLite() && db.inTransaction()));
    if (!q.next())
        throw DataError(QStringLiteral("帳款資料表裡沒有帳款資料列，無法記帳。"));
    StoredAccountRow row{q.value(0), q.value(1), q.value(2)};
    q.finish();
    return row;
}

AccountRow accountRow(Database& db)
{
    const auto [id, cash, bank] = storedAccountRow(db);
    // A balance written as infinity or NaN by another tool: no move can be
    // worked out on it.
    for (const auto& [what, value] :
         {std::pair{QStringLiteral("現金"), cash}, std::pair{QStringLiteral("銀行存款"), bank}})
        if (!value.isNull() && !isShopNumber(value.toDouble()))
            throw NumberError(
                QStringLiteral(
                    "帳款資料表的%1不是可以計算的數值（%2），這筆交易沒有記下。請用 lumaro-admin check 檢查資料檔。")
                    .arg(what, displayText(value)));
    return AccountRow{id, Money::fromStored(cash), Money::fromStored(bank)};
}

namespace {

void updateOneRow(Database& db, const QString& sql, const QVariantList& params)
{
    QSqlQuery q = db.exec(sql, params);
    const int affected = q.numRowsAffected();
    q.finish();
    if (affected != 1)
        throw DataError(QStringLiteral("要更新的資料列已不存在，這筆交易沒有記下。"));
}

} // namespace

// Adds to the balances by relative updates, so another terminal's moves in
// between are kept. One statement for both: they change together.
void addToBalances(Database& db, const QVariant& account, Money cash, Money bank)
{
    if (bank == Money())
        updateOneRow(db, addToCashSql(db.kind()), {cash.toDouble(), account});
    else
        updateOneRow(db, addToBalancesSql(db.kind()), {cash.toDouble(), bank.toDouble(), account});
}

namespace {

// Moves amount from cash to bank (toBank) or from bank to cash, both in one
// transaction with its journal row.
void move(Database& db, double typed, bool toBank, const QString& given)
{
    if (typed < 0)
        throw MoveRefused(negativeAmountText(), negativeAmountTitle());
    requireShopNumber(typed, QStringLiteral("金額"));
    const Money amount = Money::fromDouble(typed);

    const QString id = given.isEmpty() ? books::newMoveId() : given;
    Transaction t(db);
    if (!given.isEmpty() && books::moveStored(db, id))
        return;
    const AccountRow a = accountRow(db);
    // The balance as the screen shows it, so that a stored 999.99999 still
    // covers 1000 when the box says 1000.
    if ((toBank ? a.cash : a.bank) < amount) {
        if (toBank)
            throw MoveRefused(cashShortText(), cashShortTitle());
        throw MoveRefused(bankShortText(), bankShortTitle());
    }
    const Money toBankSigned = toBank ? amount : -amount;
    (void)(a.bank + toBankSigned); // refuses a balance out of range
    (void)(a.cash - toBankSigned);
    addToBalances(db, a.id, -toBankSigned, toBankSigned);
    books::Entry e;
    e.kind = toBank ? schema::journalKind::Deposit : schema::journalKind::Withdrawal;
    e.cash = -toBankSigned;
    e.bank = toBankSigned;
    books::record(db, id, e);
    books::commitMove(t, id);
}

} // namespace

void deposit(Database& db, double amount, const QString& moveId) { move(db, amount, true, moveId); }

void withdraw(Database& db, double amount, const QString& moveId) { move(db, amount, false, moveId); }

void transfer(Database& db, double amountToBank, const QString& moveId)
{
    if (amountToBank < 0)
        withdraw(db, -amountToBank, moveId);
    else
        deposit(db, amountToBank, moveId);
}

void purchase(Database& db, const QString& tea, double typedKg, const QString& given)
{
    if (tea.isEmpty())
        throw MoveRefused(chooseTeaFirstText());
    requireShopNumber(typedKg, QStringLiteral("進貨數量"));
    const Money kg = Money::fromDouble(typedKg);

    const QString id = given.isEmpty() ? books::newMoveId() : given;
    Transaction t(db);
    if (!given.isEmpty() && books::moveStored(db, id))
        return;
    QSqlQuery q = db.exec(teaToBuySql(), {tea});
    if (!q.next())
        throw MoveRefused(QStringLiteral("找不到編號「%1」的茶葉，它可能已被刪除。").arg(tea));
    const QVariant price = q.value(0);
    const Money stock = Money::fromStored(q.value(1));
    const QVariant name = q.value(2);
    q.finish();
    if (price.isNull())
        throw MoveRefused(QStringLiteral("此茶葉沒有進價"));
    if (!isShopNumber(price.toDouble()))
        throw MoveRefused(QStringLiteral("此茶葉的進價不是可以計算的數值（%1），請先在「編輯茶葉種類」改正進價。")
                              .arg(displayText(price)));

    const AccountRow a = accountRow(db);
    requireShopNumber(typedKg * price.toDouble(), QStringLiteral("進貨金額"));
    const Money cost = Money::fromStored(price) * kg;
    (void)(stock + kg); // refuses a stock or balance out of range
    (void)(a.cash - cost);

    updateOneRow(db, addToStockSql(db.kind()), {kg.toDouble(), tea});
    addToBalances(db, a.id, -cost, Money());
    books::Entry e;
    e.kind = schema::journalKind::Purchase;
    e.tea = tea;
    e.teaName = name;
    e.stock = kg;
    e.unitPrice = Money::fromStored(price).toDouble();
    e.cash = -cost;
    books::record(db, id, e);
    books::commitMove(t, id);
}

namespace {

void storeAdjustment(Database& db, const QString& id, const AccountRow& a, Money cashDelta, const QString& reason)
{
    (void)(a.cash + cashDelta);
    addToBalances(db, a.id, cashDelta, Money());
    books::Entry e;
    e.kind = schema::journalKind::Adjustment;
    e.cash = cashDelta;
    e.note = reason;
    books::record(db, id, e);
}

} // namespace

void adjust(Database& db, Money cashDelta, const QString& reason, const QString& given)
{
    const QString id = given.isEmpty() ? books::newMoveId() : given;
    Transaction t(db);
    if (!given.isEmpty() && books::moveStored(db, id))
        return;
    storeAdjustment(db, id, accountRow(db), cashDelta, reason);
    books::commitMove(t, id);
}

CashChanged::CashChanged(Money seen, Money now)
    : MoveRefused(QStringLiteral("帳上現金剛從 %1 變成 %2（可能是另一台電腦記了帳），這次的差額沒有存下。")
                      .arg(seen.toString(), now.toString())),
      m_now(now)
{
}

Money countCash(Database& db, Money counted, Money bookCash, const QString& reason, const QString& given)
{
    const QString id = given.isEmpty() ? books::newMoveId() : given;
    Transaction t(db);
    if (!given.isEmpty() && books::moveStored(db, id))
        return counted - bookCash;
    // Read after the move has taken its lock, never before: a terminal that
    // stored the same count a moment ago has changed it by now.
    const AccountRow a = accountRow(db);
    if (a.cash != bookCash)
        throw CashChanged(bookCash, a.cash);
    const Money difference = counted - a.cash;
    if (difference == Money())
        return difference;
    storeAdjustment(db, id, a, difference, reason);
    books::commitMove(t, id);
    return difference;
}

} // namespace lumaro::money
