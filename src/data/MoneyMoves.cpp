#include "data/MoneyMoves.h"

#include "data/DataError.h"
#include "data/Database.h"
#include "data/Numbers.h"

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

QString accountRowSource() { return QStringLiteral("select * from 帳款資料表 order by 帳號"); }

namespace {

struct AccountRow {
    QVariant id;
    double cash = 0;
    double bank = 0;
};

double orZero(const QVariant& v) { return v.isNull() ? 0.0 : v.toDouble(); }

void requireFinite(double v)
{
    if (!std::isfinite(v))
        throw NumberError(QStringLiteral("數值溢位"));
}

// Reads the account row inside the move's transaction and keeps other
// terminals from changing it until the move is committed: on SQLite the
// transaction already holds the write lock (BEGIN IMMEDIATE); on PostgreSQL
// the row is locked by FOR UPDATE. The shortfall test made on these values
// therefore cannot pass for two terminals spending the same money.
AccountRow lockAccountRow(Database& db)
{
    QString sql = QStringLiteral("SELECT 帳號, 現金, 銀行 FROM 帳款資料表 ORDER BY 帳號 LIMIT 1");
    if (!db.isSQLite())
        sql += QStringLiteral(" FOR UPDATE");
    QSqlQuery q = db.exec(sql);
    if (!q.next())
        throw DataError(QStringLiteral("帳款資料表裡沒有帳款資料列，無法記帳。"));
    AccountRow a{q.value(0), orZero(q.value(1)), orZero(q.value(2))};
    q.finish();
    return a;
}

void updateOneRow(Database& db, const QString& sql, const QVariantList& params)
{
    QSqlQuery q = db.exec(sql, params);
    const int affected = q.numRowsAffected();
    q.finish();
    if (affected != 1)
        throw DataError(QStringLiteral("要更新的資料列已不存在，這筆交易沒有記下。"));
}

void addToBank(Database& db, const QVariant& account, double amount)
{
    updateOneRow(db, QStringLiteral("UPDATE 帳款資料表 SET 銀行 = %1 WHERE 帳號 = ?").arg(db.roundedAmount(QStringLiteral("COALESCE(銀行, 0) + ?"))),
                 {amount, account});
}

void takeFromCash(Database& db, const QVariant& account, double amount)
{
    updateOneRow(db, QStringLiteral("UPDATE 帳款資料表 SET 現金 = %1 WHERE 帳號 = ?").arg(db.roundedAmount(QStringLiteral("COALESCE(現金, 0) - ?"))),
                 {amount, account});
}

// A balance as the cash and bank screen shows it (15 significant digits), so
// that a stored 999.99999999999989 still covers an amount of 1000 when the
// box says 1000.
double asShown(double balance) { return readNumber(formatNumber(balance)); }

// Moves amount from cash to bank (toBank) or from bank to cash. The bank is
// written first, then the cash; a failure on either leaves both untouched.
void move(Database& db, double amount, bool toBank)
{
    if (amount < 0)
        throw MoveRefused(negativeAmountText(), negativeAmountTitle());
    requireFinite(amount);

    Transaction t(db);
    const AccountRow a = lockAccountRow(db);
    const double from = toBank ? a.cash : a.bank;
    if (asShown(from) < amount) {
        if (toBank)
            throw MoveRefused(cashShortText(), cashShortTitle());
        throw MoveRefused(bankShortText(), bankShortTitle());
    }
    const double toBankSigned = toBank ? amount : -amount;
    requireFinite(a.bank + toBankSigned);
    requireFinite(a.cash - toBankSigned);
    addToBank(db, a.id, toBankSigned);
    takeFromCash(db, a.id, toBankSigned);
    t.commit();
}

} // namespace

void deposit(Database& db, double amount) { move(db, amount, true); }

void withdraw(Database& db, double amount) { move(db, amount, false); }

void transfer(Database& db, double amountToBank)
{
    if (amountToBank < 0)
        withdraw(db, -amountToBank);
    else
        deposit(db, amountToBank);
}

void purchase(Database& db, const QString& tea, double kg)
{
    if (tea.isEmpty())
        throw MoveRefused(chooseTeaFirstText());
    requireFinite(kg);

    Transaction t(db);
    QSqlQuery q = db.exec(QStringLiteral("SELECT 進價, 庫存 FROM 茶葉資料表 WHERE 編號 = ?"), {tea});
    if (!q.next())
        throw MoveRefused(QStringLiteral("找不到編號「%1」的茶葉，它可能已被刪除。").arg(tea));
    const QVariant price = q.value(0);
    const double stock = orZero(q.value(1));
    q.finish();
    if (price.isNull())
        throw MoveRefused(QStringLiteral("此茶葉沒有進價"));

    const AccountRow a = lockAccountRow(db);
    const double cost = kg * price.toDouble();
    requireFinite(cost);
    requireFinite(stock + kg);
    requireFinite(a.cash - cost);

    updateOneRow(db, QStringLiteral("UPDATE 茶葉資料表 SET 庫存 = %1 WHERE 編號 = ?").arg(db.roundedAmount(QStringLiteral("COALESCE(庫存, 0) + ?"))), {kg, tea});
    takeFromCash(db, a.id, cost);
    t.commit();
}

} // namespace lumaro::money
