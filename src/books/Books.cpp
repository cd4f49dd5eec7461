#include "books/Books.h"

#include "books/Kinds.h"
#include "data/Database.h"
#include "data/Schema.h"
#include "data/Statements.h"
#include "data/Transaction.h"

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

// The columns a journal row is written with, all but its own number.
QString journalColumns()
{
    return QStringLiteral("(%1)").arg(QStringList{journal::Move, journal::Kind, journal::Time, journal::Terminal,
                                                  journal::Order, journal::Tea, journal::TeaName, journal::StockChange,
                                                  journal::UnitPrice, journal::CashChange, journal::BankChange,
                                                  journal::Note}
                                          .join(QStringLiteral(", ")));
}

QString recordSql(Database::Kind k)
{
    return QStringLiteral("INSERT INTO %1 %2 VALUES (?, ?, %3, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
        .arg(JournalTable, journalColumns(), clock(k));
}

QString checkoutLinesSql(Database::Kind k)
{
    return QStringLiteral("INSERT INTO %1 %2 SELECT ?, ?, %3, ?, l.%4, l.%5, t.%6, -COALESCE(l.%7, 0), %8, 0, 0, NULL "
                          "FROM %9 l JOIN %10 t ON t.%11 = l.%5 WHERE l.%4 = ? ORDER BY l.%12")
        .arg(JournalTable, journalColumns(), clock(k), line::Order, line::Tea, tea::Name, line::Quantity,
             Database::roundedAmount(k, QStringLiteral("t.") + tea::Price), LineTable, TeaTable, tea::Number, line::Id);
}

QString openingTeasSql(Database::Kind k)
{
    return QStringLiteral("INSERT INTO %1 %2 SELECT ?, ?, %3, ?, NULL, %4, %5, %6, NULL, 0, 0, ? "
                          "FROM %7 WHERE %6 IS NOT NULL AND %6 <> 0 ORDER BY %4")
        .arg(JournalTable, journalColumns(), clock(k), tea::Number, tea::Name, tea::Stock, TeaTable);
}

QString openingBalancesSql(Database::Kind k)
{
    return QStringLiteral("INSERT INTO %1 %2 SELECT ?, ?, %3, ?, NULL, NULL, NULL, 0, NULL, "
                          "COALESCE(%4, 0), COALESCE(%5, 0), ? "
                          "FROM %6 ORDER BY %7 LIMIT 1")
        .arg(JournalTable, journalColumns(), clock(k), account::Cash, account::Bank, AccountTable, account::Id);
}

QString moveStoredSql()
{
    return QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ? LIMIT 1").arg(JournalTable, journal::Move);
}

QVariant nullableText(const QString& s) { return s.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(s); }

} // namespace

void record(Database& db, const QString& moveId, const Entry& e)
{
    db.exec(recordSql(db.kind()),
            {moveId, e.kind, terminalName(), e.order.isNull() ? QVariant(QMetaType(QMetaType::LongLong)) : e.order,
             e.tea.isNull() ? QVariant(QMetaType(QMetaType::QString)) : e.tea,
             e.teaName.isNull() ? QVariant(QMetaType(QMetaType::QString)) : e.teaName, e.stock.toDouble(),
             e.unitPrice.isNull() ? QVariant(QMetaType(QMetaType::Double)) : e.unitPrice, e.cash.toDouble(),
             e.bank.toDouble(), nullableText(e.note)})
        .finish();
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
    };
}

void commitMove(Transaction& t, const QString& moveId)
{
    t.commitMove([&](Database& db) { return moveStored(db, moveId); });
}

} // namespace lumaro::books
