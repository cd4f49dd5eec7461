#include "books/Moves.h"

#include "base/DisplayText.h"
#include "base/Failures.h"
#include "base/Numbers.h"
#include "books/People.h"
#include "data/DataError.h"
#include "data/Database.h"
#include "data/Schema.h"
#include "data/Statements.h"
#include "data/Transaction.h"

#include <QSet>
#include <QSqlQuery>

namespace lumaro::moves {

namespace {

using namespace schema;

// The account row; a move on the server locks it for the rest of the move.
QString accountRowSql(bool lock)
{
    return statement("SELECT {a.id}, {a.cash}, {a.bank} FROM {A} ORDER BY {a.id} LIMIT 1") + part(lock, " FOR UPDATE");
}

QString addToCashSql(Database::Kind k)
{
    return statement("UPDATE {A} SET {a.cash} = {1} WHERE {a.id} = ?",
                     {Database::roundedAmount(k, statement("COALESCE({a.cash}, 0) + ?"))});
}

QString addToBalancesSql(Database::Kind k)
{
    return statement("UPDATE {A} SET {a.cash} = {1}, {a.bank} = {2} WHERE {a.id} = ?",
                     {Database::roundedAmount(k, statement("COALESCE({a.cash}, 0) + ?")),
                      Database::roundedAmount(k, statement("COALESCE({a.bank}, 0) + ?"))});
}

// Every tea a move names changed by the sum of its journal rows' stock
// changes: one statement however many teas, and the stock always moves by
// exactly what the journal says it did.
QString addToStockSql(Database::Kind k)
{
    return statement("UPDATE {T} SET {t.stock} = {1} FROM (SELECT {j.tea} AS tea, SUM({j.stock}) AS kg FROM {J} "
                     "WHERE {j.move} = ? AND {j.tea} IS NOT NULL GROUP BY {j.tea}) AS moved "
                     "WHERE {T}.{t.number} = moved.tea",
                     {Database::roundedAmount(k, statement("COALESCE({t.stock}, 0) + moved.kg"))});
}

int affectedRows(QSqlQuery q)
{
    const int n = q.numRowsAffected();
    q.finish();
    return n;
}

QString rowGoneText() { return QStringLiteral("要更新的資料列已不存在，這筆交易沒有記下。"); }

} // namespace

QString accountRowSource() { return QStringLiteral("select * from %1 order by %2").arg(AccountTable, account::Id); }

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

// One statement for both balances when both change: they change together.
void addToBalances(Database& db, const QVariant& account, Money cash, Money bank)
{
    const int affected =
        bank == Money()
            ? affectedRows(db.exec(addToCashSql(db.kind()), {cash.toDouble(), account}))
            : affectedRows(db.exec(addToBalancesSql(db.kind()), {cash.toDouble(), bank.toDouble(), account}));
    if (affected != 1)
        throw DataError(rowGoneText());
}

const AccountRow& Plan::account()
{
    if (!m_account)
        m_account = accountRow(m_db);
    return *m_account;
}

void Plan::add(books::Entry row)
{
    // Summed as the rows are declared, so a total out of range is refused
    // before anything is written.
    m_cash += row.cash;
    m_bank += row.bank;
    m_rows << Rows{std::move(row), {}};
}

void Plan::addRows(std::function<void(Database&, const QString&)> write, qsizetype teas)
{
    m_rows << Rows{{}, std::move(write)};
    m_teas += teas;
}

// What a kind of move asks of the person making it. The books refuse a move
// the person may not make even where a screen forgot to ask for an owner.
people::Right rightFor(const Kind& kind)
{
    if (kind.name == kind::Adjustment.name)
        return people::Right::Adjust;
    if (kind.name == kind::Return.name || kind.name == kind::Void.name)
        return people::Right::ReturnOrVoid;
    if (kind.name == kind::Deposit.name || kind.name == kind::Withdrawal.name)
        return people::Right::Transfer;
    if (kind.name == kind::ChangeUnit.name)
        return people::Right::EditPrices;
    return people::Right::Sell;
}

struct Runner {
    static Outcome run(Database& db, const Move& move, const QString& given)
    {
        people::require(rightFor(move.kind));
        const QString id = given.isEmpty() ? books::newMoveId() : given;
        Transaction t(db);
        if (!given.isEmpty() && books::moveStored(db, id))
            return Outcome::Found;
        Plan plan(db);
        move.declare(plan);
        if (plan.m_rows.isEmpty())
            return Outcome::NothingDue;

        // Every balance the move leaves must be one the books can hold.
        const AccountRow& account = plan.account();
        (void)(account.cash + plan.m_cash);
        (void)(account.bank + plan.m_bank);

        QSet<QString> teas;
        for (Plan::Rows& rows : plan.m_rows) {
            if (rows.write) {
                rows.write(db, id);
                continue;
            }
            books::Entry& row = rows.row;
            if (row.kind.isEmpty())
                row.kind = move.kind.name;
            if (!row.tea.isNull())
                teas.insert(row.tea.toString());
            books::record(db, id, row);
        }
        const qsizetype teasNamed = teas.size() + plan.m_teas;
        if (teasNamed > 0 && affectedRows(db.exec(addToStockSql(db.kind()), {id})) != teasNamed) {
            if (plan.m_teaGone)
                plan.m_teaGone();
            throw DataError(rowGoneText());
        }
        addToBalances(db, account.id, plan.m_cash, plan.m_bank);
        books::commitMove(t, id);
        return Outcome::Stored;
    }
};

Outcome run(Database& db, const Move& move, const QString& moveId) { return Runner::run(db, move, moveId); }

QList<Statement> statements(Database::Kind k)
{
    QList<Statement> out = {
        {QStringLiteral("moves: account row source"), accountRowSource()},
        {QStringLiteral("moves: account row"), accountRowSql(false)},
        {QStringLiteral("moves: add to cash"), addToCashSql(k)},
        {QStringLiteral("moves: add to balances"), addToBalancesSql(k)},
        {QStringLiteral("moves: add to stock"), addToStockSql(k)},
    };
    if (k == Database::Kind::PostgreSQL)
        out << Statement{QStringLiteral("moves: account row, locked"), accountRowSql(true)};
    return out;
}

} // namespace lumaro::moves
