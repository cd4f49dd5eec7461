#include "books/Books.h"

#include "books/Kinds.h"
#include "data/Database.h"
#include "data/Schema.h"
#include "data/Statements.h"
#include "data/Transaction.h"

#include <QSqlQuery>
#include <QSysInfo>
#include <QUuid>

namespace lumaro::books {

QString newMoveId() { return QUuid::createUuid().toString(QUuid::WithoutBraces); }

QString terminalName()
{
    static const QString name = QSysInfo::machineHostName();
    return name;
}

namespace {

QString clock(Database::Kind kind)
{
    if (kind == Database::Kind::SQLite)
        return QStringLiteral("strftime('%Y-%m-%d %H:%M:%S','now')");
    return QStringLiteral("to_char(now() AT TIME ZONE 'UTC', 'YYYY-MM-DD HH24:MI:SS')");
}

} // namespace

QString nowUtc(const Database& db) { return clock(db.kind()); }

namespace {

using namespace schema;

// The columns a journal row is written with, all but its own number. The
// opening rows are also written by the upgrade to version 2, before the
// journal had a unit, when every tea was in 公斤.
QString journalColumns(bool withUnit = true)
{
    return statement("({j.move}, {j.kind}, {j.time}, {j.terminal}, {j.order}, {j.tea}, {j.teaName}, {j.stock}, "
                     "{j.price}, {j.cash}, {j.bank}, {j.note}{1})",
                     {withUnit ? statement(", {j.unit}") : QString()});
}

// A row written alone may also carry a sale's payment and discount, the sale a
// return mends and a reason.
QString recordSql(Database::Kind k)
{
    QString columns = journalColumns();
    columns.chop(1);
    columns += statement(", {j.method}, {j.discount}, {j.tendered}, {j.source}, {j.sourceRow}, {j.reason})");
    return statement("INSERT INTO {J} {1} VALUES (?, ?, {2}, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                     {columns, clock(k)});
}

QString lineDiscountSql() { return statement("UPDATE {J} SET {j.discount} = ? WHERE {j.id} = ?"); }
QString moveLineRowsSql()
{
    return statement("SELECT {j.id} FROM {J} WHERE {j.move} = ? AND {j.tea} IS NOT NULL ORDER BY {j.id}");
}

QString checkoutLinesSql(Database::Kind k)
{
    return statement("INSERT INTO {J} {1} SELECT ?, ?, {2}, ?, l.{l.order}, l.{l.tea}, t.{t.name}, "
                     "-COALESCE(l.{l.quantity}, 0), {3}, 0, 0, NULL, u.{u.name} "
                     "FROM {L} l JOIN {T} t ON t.{t.number} = l.{l.tea} LEFT JOIN {U} u ON u.{u.tea} = l.{l.tea} WHERE "
                     "l.{l.order} = ? ORDER BY l.{l.id}",
                     {journalColumns(), clock(k), Database::roundedAmount(k, statement("t.{t.price}"))});
}

QString openingTeasSql(Database::Kind k)
{
    return statement("INSERT INTO {J} {1} SELECT ?, ?, {2}, ?, NULL, {t.number}, {t.name}, {t.stock}, NULL, 0, 0, ? "
                     "FROM {T} WHERE {t.stock} IS NOT NULL AND {t.stock} <> 0 ORDER BY {t.number}",
                     {journalColumns(false), clock(k)});
}

QString openingBalancesSql(Database::Kind k)
{
    return statement("INSERT INTO {J} {1} SELECT ?, ?, {2}, ?, NULL, NULL, NULL, 0, NULL, "
                     "COALESCE({a.cash}, 0), COALESCE({a.bank}, 0), ? FROM {A} ORDER BY {a.id} LIMIT 1",
                     {journalColumns(false), clock(k)});
}

QString moveStoredSql() { return statement("SELECT 1 FROM {J} WHERE {j.move} = ? LIMIT 1"); }

QVariant nullableText(const QString& s) { return s.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(s); }
QVariant nullableAmount(const QVariant& v)
{
    return v.isNull() ? QVariant(QMetaType(QMetaType::Double)) : QVariant(Money::fromStored(v).toDouble());
}

} // namespace

void record(Database& db, const QString& moveId, const Entry& e)
{
    db.exec(recordSql(db.kind()),
            {moveId, e.kind, terminalName(), e.order.isNull() ? QVariant(QMetaType(QMetaType::LongLong)) : e.order,
             e.tea.isNull() ? QVariant(QMetaType(QMetaType::QString)) : e.tea,
             e.teaName.isNull() ? QVariant(QMetaType(QMetaType::QString)) : e.teaName, e.stock.toDouble(),
             e.unitPrice.isNull() ? QVariant(QMetaType(QMetaType::Double)) : e.unitPrice, e.cash.toDouble(),
             e.bank.toDouble(), nullableText(e.note), nullableText(e.unit), nullableText(e.method.toString()),
             nullableAmount(e.discount), nullableAmount(e.tendered), nullableText(e.source),
             e.sourceRow.isNull() ? QVariant(QMetaType(QMetaType::LongLong)) : e.sourceRow, nullableText(e.reason)})
        .finish();
}

void recordLineDiscounts(Database& db, const QString& moveId, const QList<Money>& discounts)
{
    QList<qlonglong> rows;
    {
        QSqlQuery q = db.exec(moveLineRowsSql(), {moveId});
        while (q.next())
            rows << q.value(0).toLongLong();
    }
    for (qsizetype i = 0; i < discounts.size() && i < rows.size(); ++i)
        if (discounts[i] != Money())
            db.exec(lineDiscountSql(), {discounts[i].toDouble(), rows[i]}).finish();
}

void recordCheckoutLines(Database& db, const QString& moveId, qlonglong order)
{
    db.exec(checkoutLinesSql(db.kind()), {moveId, moves::kind::Checkout.name, terminalName(), order}).finish();
}

void recordOpening(Database& db, const QString& note, bool teas)
{
    const QString id = newMoveId();
    if (teas)
        db.exec(openingTeasSql(db.kind()), {id, moves::kind::Opening.name, terminalName(), note}).finish();
    db.exec(openingBalancesSql(db.kind()), {id, moves::kind::Opening.name, terminalName(), note}).finish();
}

bool moveStored(Database& db, const QString& moveId) { return !db.scalar(moveStoredSql(), {moveId}).isNull(); }

QList<Statement> statements(Database::Kind k)
{
    return {
        {QStringLiteral("books: record"), recordSql(k)},
        {QStringLiteral("books: checkout lines"), checkoutLinesSql(k)},
        {QStringLiteral("books: opening stock"), openingTeasSql(k)},
        {QStringLiteral("books: opening balances"), openingBalancesSql(k)},
        {QStringLiteral("books: move stored"), moveStoredSql()},
        {QStringLiteral("books: line discount"), lineDiscountSql()},
        {QStringLiteral("books: line rows of a move"), moveLineRowsSql()},
    };
}

void commitMove(Transaction& t, const QString& moveId)
{
    t.commitMove([&](Database& db) { return moveStored(db, moveId); });
}

} // namespace lumaro::books
