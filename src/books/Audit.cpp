#include "books/Audit.h"

#include "base/Money.h"
#include "base/Numbers.h"
#include "base/Units.h"
#include "books/Kinds.h"
#include "books/Moves.h"
#include "books/Returns.h"
#include "books/Upgrade.h"
#include "data/DataError.h"
#include "data/Database.h"
#include "data/Schema.h"
#include "data/Sql.h"
#include "data/Statements.h"

#include <QHash>
#include <QMap>
#include <QSqlQuery>

#include <algorithm>
#include <exception>
#include <memory>
#include <thread>

namespace lumaro {

namespace {

const QString kIntegrity = QStringLiteral("PRAGMA integrity_check");

using namespace schema;

// A checkout row of the journal without the price charged.
QString unpricedSql()
{
    return statement("{j.kind} = {1} AND {j.tea} IS NOT NULL AND {j.price} IS NULL",
                     {sql::literal(moves::kind::Checkout.name)});
}

// Every row of the journal, read once for all that the check works out on
// it: the sums, the kinds, the rows without a price (with their order and
// tea only). From version 6 each row's stock is in its unit (none: 公斤), and
// so is each tea's stock.
QString journalSql(bool units)
{
    return statement("SELECT {j.tea}, {j.stock}, {j.cash}, {j.bank}, {1}, {j.kind}, {j.id}, CASE WHEN {2} THEN 1 "
                     "ELSE 0 END, CASE WHEN {2} THEN {j.order} END, CASE WHEN {2} THEN {j.teaName} END FROM {J}",
                     {units ? statement("{j.unit}") : QStringLiteral("NULL"), unpricedSql()});
}

QString balanceSql(const QString& column) { return statement("SELECT {1} FROM {A} WHERE {a.id} = ?", {column}); }

QString stockSql(bool units)
{
    return statement("SELECT {t.number}, {t.stock}, {1} FROM {T} ORDER BY {t.number}",
                     {units ? unitOfTea(statement("{T}.{t.number}")) : QStringLiteral("NULL")});
}

// The unit a stored name stands for, so that NULL and 公斤 add up together.
QString unitName(const QVariant& stored)
{
    const units::Unit* u = units::fromStored(stored);
    return u ? u->name : stored.toString();
}

QString orphanLinesSql()
{
    return statement("SELECT d.{l.id}, d.{l.order}, d.{l.tea}, o.{o.number} IS NULL, t.{t.number} IS NULL FROM {L} d "
                     "LEFT JOIN {O} o ON o.{o.number} = d.{l.order} LEFT JOIN {T} t ON t.{t.number} = d.{l.tea} "
                     "WHERE o.{o.number} IS NULL OR t.{t.number} IS NULL ORDER BY d.{l.id}");
}

QString negativeStockSql()
{
    return statement("SELECT {t.number}, {t.name}, {t.stock} FROM {T} WHERE {t.stock} < 0 ORDER BY {t.number}");
}

QString badStatusSql()
{
    return statement("SELECT {o.number}, {o.status} FROM {O} WHERE {o.status} NOT IN (0, 1) ORDER BY {o.number}");
}

// The rows whose number in column no move can be worked out on. SQLite keeps
// no NaN but may hold text in a file of another tool; PostgreSQL sorts NaN
// above every number, so the range test finds it too.
QString badNumbersSql(Database::Kind k, const QString& table, const QString& column)
{
    const QString value = sql::quoted(column), most = sql::number(MaxShopNumber);
    const QString bad = k == Database::Kind::SQLite
                            ? statement("typeof({1}) NOT IN ('integer', 'real') OR abs({1}) > {2}", {value, most})
                            : statement("abs({1}::double precision) > {2}", {value, most});
    return statement("SELECT {1}, {2} FROM {3} WHERE {2} IS NOT NULL AND ({4}) ORDER BY {1}",
                     {sql::quoted(findTable(table)->key), value, sql::quoted(table), bad});
}

// The tables whose numbers are checked: the ones a move works out on.
const QStringList& checkedTables()
{
    static const QStringList checked = {TeaTable, LineTable, AccountTable};
    return checked;
}

QString accountRowsSql() { return statement("SELECT count(*) FROM {A}"); }

// Every kind in the journal, with how many rows carry it and the first.
QString kindsSql()
{
    return statement("SELECT {j.kind}, count(*), min({j.id}) FROM {J} GROUP BY {j.kind} ORDER BY {j.kind}");
}

} // namespace

QList<Statement> auditStatements(Database::Kind k)
{
    const QString m = QStringLiteral("check: ");
    QList<Statement> out = {
        {m + QStringLiteral("journal"), journalSql(true)},
        {m + QStringLiteral("journal before units"), journalSql(false)},

        {m + QStringLiteral("cash"), balanceSql(account::Cash)},
        {m + QStringLiteral("bank"), balanceSql(account::Bank)},
        {m + QStringLiteral("stock"), stockSql(true)},
        {m + QStringLiteral("stock before units"), stockSql(false)},
        {m + QStringLiteral("orphan lines"), orphanLinesSql()},
        {m + QStringLiteral("negative stock"), negativeStockSql()},
        {m + QStringLiteral("bad status"), badStatusSql()},
        {m + QStringLiteral("account rows"), accountRowsSql()},
        {m + QStringLiteral("kinds"), kindsSql()},
    };
    for (const QString& table : checkedTables())
        for (const QString& column : numberColumns(table))
            out << Statement{m + QStringLiteral("numbers of ") + column, badNumbersSql(k, table, column)};
    if (k == Database::Kind::SQLite)
        out += QList<Statement>{
            {m + QStringLiteral("integrity"), kIntegrity},
            {m + QStringLiteral("name index"), customerIndexCheck()},
            {m + QStringLiteral("tea index"), teaIndexCheck()},
        };
    return out;
}

namespace {

// Found once for each of the journal's rows: by hash.
using JournalStock = QHash<QString, QMap<QString, Money>>;

struct JournalRead {
    // The sums, added exactly (Money), when asked for.
    Money cash, bank;
    // Per tea, the journal's stock in each unit it was ever kept in.
    JournalStock stock;
    bool unknownKind = false;
};

// The journal row by row: its sums when withSums, whether a kind the program
// does not know is there, and the checkout rows without a price, in c.
JournalRead readJournal(Database& db, bool withUnits, bool withSums, ShopCheck& c)
{
    JournalRead r;
    // Nearly every row is of the kind of the row before it.
    QString kind;
    bool known = true;
    QSqlQuery q = db.exec(journalSql(withUnits));
    while (q.next()) {
        if (withSums) {
            const QVariant tea = q.value(0);
            if (!tea.isNull())
                r.stock[tea.toString()][unitName(q.value(4))] += Money::fromStored(q.value(1));
            r.cash += Money::fromStored(q.value(2));
            r.bank += Money::fromStored(q.value(3));
        }
        const QString k = q.value(5).toString();
        if (k != kind) {
            kind = k;
            known = moves::findKind(kind) != nullptr;
        }
        r.unknownKind = r.unknownKind || !known;
        if (q.value(7).toInt() == 1)
            c.unpricedSales << ShopCheck::UnpricedSale{q.value(6).toLongLong(), q.value(8), q.value(0), q.value(9)};
    }
    q.finish();
    std::sort(c.unpricedSales.begin(), c.unpricedSales.end(),
              [](const ShopCheck::UnpricedSale& a, const ShopCheck::UnpricedSale& b) { return a.row < b.row; });
    return r;
}

// Every balance and stock against the opening rows plus the journal, added
// exactly, so that any change made behind the program's back shows.
void auditBooks(Database& db, ShopCheck& c, const JournalRead& journal)
{
    const bool withUnits = c.version >= 6;
    const Money cash = journal.cash, bank = journal.bank;
    const JournalStock& stock = journal.stock;

    auto mismatch = [&](const QString& table, const QString& row, const QString& column, const QVariant& stored,
                        Money expected) {
        if (Money::fromStored(stored) != expected)
            c.books << ShopCheck::Mismatch{table, row, column,
                                           stored.isNull() ? QStringLiteral("（空白）")
                                                           : Money::fromStored(stored).toString(),
                                           expected.toString()};
    };
    const moves::AccountRow account = moves::accountRow(db);
    const QString row = QStringLiteral("%1 = %2").arg(schema::account::Id, account.id.toString());
    const QVariant storedCash = db.scalar(balanceSql(schema::account::Cash), {account.id});
    const QVariant storedBank = db.scalar(balanceSql(schema::account::Bank), {account.id});
    mismatch(schema::AccountTable, row, schema::account::Cash, storedCash, cash);
    mismatch(schema::AccountTable, row, schema::account::Bank, storedBank, bank);

    // A tea's stock is the journal's sum in its unit; what the journal holds
    // in its other units must have been taken out again (a change of unit
    // takes it out in the old one).
    QSqlQuery q = db.exec(stockSql(withUnits));
    while (q.next()) {
        const QString tea = q.value(0).toString();
        const QString unit = unitName(q.value(2));
        const QString teaRow = QStringLiteral("%1 = %2").arg(schema::tea::Number, tea);
        const QMap<QString, Money> sums = stock.value(tea);
        mismatch(schema::TeaTable, teaRow, schema::tea::Stock, q.value(1), sums.value(unit));
        for (auto it = sums.begin(); it != sums.end(); ++it)
            if (it.key() != unit && it.value() != Money())
                c.books << ShopCheck::Mismatch{schema::TeaTable, teaRow,
                                               QStringLiteral("%1（%2）").arg(schema::tea::Stock, it.key()),
                                               it.value().toString(), Money().toString()};
    }
    q.finish();
}

// SQLite's check of every page of the file, nearly all of the time a check
// takes. It reads on a connection of its own, in a thread of its own, while
// the rest of the check reads on the caller's; on the caller's connection
// when that is in a transaction (what it has not committed is checked too)
// or when no second connection opens.
class IntegrityCheck {
public:
    explicit IntegrityCheck(Database& db) : m_db(db)
    {
        if (db.inTransaction())
            return;
        m_thread = std::thread([this, target = db.target()] {
            std::unique_ptr<Database> own;
            try {
                own = Database::openReadOnly(target);
            } catch (...) {
                return; // checked on the caller's connection instead
            }
            try {
                m_found = run(*own);
                m_done = true;
            } catch (...) {
                m_error = std::current_exception();
            }
        });
    }
    ~IntegrityCheck()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    IntegrityCheck(const IntegrityCheck&) = delete;
    IntegrityCheck& operator=(const IntegrityCheck&) = delete;

    // What SQLite found, once it is done.
    QStringList result()
    {
        if (m_thread.joinable())
            m_thread.join();
        if (m_error)
            std::rethrow_exception(m_error);
        return m_done ? m_found : run(m_db);
    }

private:
    static QStringList run(Database& db)
    {
        QStringList found;
        QSqlQuery q = db.exec(kIntegrity);
        while (q.next())
            found << q.value(0).toString();
        q.finish();
        return found;
    }

    Database& m_db;
    std::thread m_thread;
    QStringList m_found;
    bool m_done = false;
    std::exception_ptr m_error;
};

// Everything but the integrity of the file.
void checkRows(Database& db, ShopCheck& c, const std::function<void(const QString&)>& step);

} // namespace

ShopCheck checkShop(Database& db, const CheckProgress& progress)
{
    const auto step = [&progress](const QString& name, bool wholeFile = false) {
        if (progress)
            progress(name, wholeFile);
    };
    ShopCheck c;
    c.version = upgrade::versionOf(db);
    c.refusals = shopRefusals(db);
    if (c.newer())
        return c;
    if (!db.isSQLite()) {
        c.integrity << QStringLiteral("ok"); // the server keeps its own files sound
        checkRows(db, c, step);
        step(QString());
        return c;
    }
    IntegrityCheck integrity(db);
    // A fault of the file's own check is raised before one of the rest, as
    // when it ran first.
    std::exception_ptr failed;
    bool indexDiffers = false;
    bool teaIndexDiffers = false;
    try {
        checkRows(db, c, step);
        step(QStringLiteral("完整性檢查"), true);
        // The index of the customers' names must hold just the orders' names.
        indexDiffers = c.version >= 9 && db.scalar(schema::customerIndexCheck()).toLongLong() != 0;
        // And that of the teas' names just the catalogue's.
        teaIndexDiffers = c.version >= 10 && db.scalar(schema::teaIndexCheck()).toLongLong() != 0;
    } catch (...) {
        failed = std::current_exception();
    }
    c.integrity = integrity.result();
    if (failed)
        std::rethrow_exception(failed);
    if (indexDiffers) {
        if (c.integrity == QStringList{QStringLiteral("ok")})
            c.integrity.clear();
        c.integrity << QStringLiteral("%1 與 %2 的客戶名稱不符").arg(schema::CustomerIndex, schema::OrderTable);
    }
    if (teaIndexDiffers) {
        if (c.integrity == QStringList{QStringLiteral("ok")})
            c.integrity.clear();
        c.integrity << QStringLiteral("%1 與 %2 的茶葉名稱不符").arg(schema::TeaIndex, schema::TeaTable);
    }
    step(QString());
    return c;
}

namespace {

void checkRows(Database& db, ShopCheck& c, const std::function<void(const QString&)>& step)
{
    step(QStringLiteral("訂單明細、庫存和數值"));
    QSqlQuery q = db.exec(orphanLinesSql());
    while (q.next())
        c.orphanLines << ShopCheck::OrphanLine{q.value(0).toLongLong(), q.value(1), q.value(2), q.value(3).toBool(),
                                               q.value(4).toBool()};

    q = db.exec(negativeStockSql());
    while (q.next())
        c.negativeStock << ShopCheck::Stock{q.value(0).toString(), q.value(1), q.value(2).toDouble()};

    q = db.exec(badStatusSql());
    while (q.next())
        c.badStatus << ShopCheck::Status{q.value(0).toLongLong(), q.value(1).toLongLong()};

    for (const QString& table : checkedTables()) {
        const QString key = schema::findTable(table)->key;
        for (const QString& column : schema::numberColumns(table)) {
            q = db.exec(badNumbersSql(db.kind(), table, column));
            while (q.next())
                c.badNumbers << ShopCheck::BadNumber{table, key, q.value(0).toString(), column, q.value(1)};
        }
    }

    c.accountRows = db.scalar(accountRowsSql()).toInt();
    if (c.accountRows > 0) {
        const moves::StoredAccountRow a = moves::storedAccountRow(db);
        c.cash = a.cash;
        c.bank = a.bank;
    }
    if (c.version >= 2) {
        // Books with a number no move can be worked out on cannot be audited;
        // those numbers are listed instead.
        const bool audit = c.accountRows > 0 && c.badNumbers.isEmpty();
        const QString kindsStep = QStringLiteral("帳務日誌的種類、單價和退貨");
        step(audit ? QStringLiteral("餘額和庫存對帳務日誌") : kindsStep);
        q.finish();
        const JournalRead journal = readJournal(db, c.version >= 6, audit, c);
        if (audit) {
            auditBooks(db, c, journal);
            step(kindsStep);
        }
        // A kind the program does not know is rare: only then are the kinds
        // counted, in their order on this database.
        if (journal.unknownKind) {
            q = db.exec(kindsSql());
            while (q.next())
                if (!moves::findKind(q.value(0).toString()))
                    c.unknownKinds << ShopCheck::UnknownKind{q.value(0).toString(), q.value(1).toLongLong(),
                                                             q.value(2).toLongLong()};
            q.finish();
        }
        if (c.version >= 7)
            for (const returns::Overreturn& o : returns::overreturned(db))
                c.overreturned << ShopCheck::Overreturn{o.row, o.order, o.tea, o.sold.toString(),
                                                        o.returned.toString()};
    }
    q.finish();
    step(QStringLiteral("資料檔裡的物件"));
    c.foreign = foreignObjects(db);
}

} // namespace

} // namespace lumaro
