#pragma once

#include "base/Money.h"
#include "data/Statements.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

namespace lumaro {

class CsvFile;
class Database;

// What the shop's books say, read from the journal: sales, the day's takings,
// receipts, low stock and the CSV exports. Amounts are Money, exact to 1/10000
// as the books keep them; kilograms and stock are plain numbers. Dates are the shop's local dates;
// the journal keeps UTC times, so a day is the UTC range of its local hours
// and every query uses the journal's time index.
namespace reports {

// The journal's time text for a local moment, and back.
QString journalTime(const QDateTime& local);
QDateTime localTime(const QString& journal);

// One method's share of a sale, or of the takings of a range.
struct Paid {
    QString method; // a sale journaled before methods existed reads as 現金
    Money amount;
    int sales = 0;
};

// One settled order of the sales history.
struct Sale {
    qlonglong order = 0;
    QDateTime settled; // local
    QString customer;
    Money total; // what the customer paid, after any discount
    // Settled before the shop kept its journal: the time is the order's date,
    // and the total is priced at the catalogue's prices of today.
    bool estimated = false;
    QString cursor;      // where the next page starts, for salesPage
    Money discount;      // taken off its lines and the whole order
    QString methods;     // how it was paid: 現金, or 現金 600、刷卡 400
    QList<Paid> paid;    // each method's part
    QString move;        // the move that settled it; empty for an estimate
    Money refunded;      // given back by its returns
    QList<Paid> refunds; // each refund method's part of refunded
};

struct SalesFilter {
    QDate from;       // inclusive, local
    QDate to;         // inclusive, local
    QString customer; // part of the customer's name; empty: everyone
    QVariant person;  // who made the sale, by number in 人員表; null: everyone
};

// Settled orders in the range, newest first, at most limit of them, starting
// after the sale whose cursor is given (empty: from the newest). Reads only
// the rows asked for, so ten years of sales page as fast as one day. Orders
// settled before the journal existed follow the journal's, all older than
// them, by their order date.
QList<Sale> salesPage(Database& db, const SalesFilter& filter, int limit, const QString& after = {});

// One line of a settled order as it was charged.
struct SaleLine {
    QString tea;
    QString name; // the tea's name at the time
    double kg = 0;
    Money price; // unit price charged
    Money subtotal;
    QString unit; // the unit of kg and price: empty for 公斤
};

// From the journal; for an order settled before the journal existed, from the
// order's lines at today's prices (a tea since deleted has no name or price).
QList<SaleLine> saleLines(Database& db, qlonglong order);

// Everything a receipt shows. Throws DataError when the order is not settled,
// or was settled before the journal kept what was charged.
struct Receipt {
    QString shopName;
    QString shopAddress;
    QString shopPhone;
    qlonglong order = 0;
    QDateTime settled;
    QString customer;
    QList<SaleLine> lines;
    Money total; // paid, after the discount
    Money gross; // the lines' amounts
    Money discount;
    QList<Paid> paid;              // each method's part
    std::optional<Money> tendered; // the cash handed over, when it was typed
    Money change;
    Money refunded; // given back since by returns
};

Receipt receipt(Database& db, qlonglong order);

// The day's takings. Every figure comes from the journal, and
// openingCash + takings - takingsToBank - purchaseCost - deposits + withdrawals
// + adjustments is closingCash; openingBank + takingsToBank + deposits -
// withdrawals is closingBank.
struct DayReport {
    QDate day;
    int orders = 0;
    Money sales;          // paid for the day's sales, by every method, after discounts
    Money refunds;        // given back by the day's returns and voids
    Money takings;        // sales less refunds
    Money takingsToBank;  // the part paid by (or refunded to) methods booked to the bank
    Money discounts;      // taken off the day's sales
    QList<Paid> byMethod; // the sales per method, by name
    QList<Paid> refundsByMethod;
    // Each return or void of the day.
    struct Returned {
        QString kind; // 退貨 or 作廢
        QDateTime made;
        qlonglong order = 0;
        Money refund;
        QString method;
        QString reason;
    };
    QList<Returned> returns;
    struct TeaKg {
        QString tea;
        QString name;
        double kg = 0;
        Money amount; // sold: charged; bought: cost
        QString unit; // the unit of kg: empty for 公斤
    };
    QList<TeaKg> sold;
    QList<TeaKg> bought;
    double purchaseKg = 0; // of the teas in 公斤
    Money purchaseCost;
    Money deposits;    // cash into the bank
    Money withdrawals; // bank into the cash
    Money adjustments; // cash counts and other 調整 moves
    Money openingCash;
    Money openingBank;
    Money closingCash;
    Money closingBank;
    // What each person did, when the shop keeps more than one: the sales
    // and their discounts, returns and voids, adjustments, and how many moves
    // an owner allowed for them. Empty for a shop of one.
    struct ByPerson {
        QString name; // 未記名 for rows that name nobody
        int sales = 0;
        Money takings;
        Money discounts;
        int returns = 0;
        Money refunds;
        int adjustments = 0;
        Money adjusted; // the cash the adjustments changed
        int approved = 0;
    };
    QList<ByPerson> byPerson;
};

DayReport dayReport(Database& db, const QDate& day);

// The takings of the filter's sales per method, by name.
QList<Paid> takingsByMethod(Database& db, const SalesFilter& filter);

// The takings of each of the days days up to and including last, oldest first.
QList<Money> dailyTakings(Database& db, const QDate& last, int days);

struct LowStock {
    QString tea;
    QString name;
    double stock = 0;
    double soldLast30 = 0; // kg sold in the 30 days up to today
    QString unit;          // the unit of both: empty for 公斤
};

// Teas whose stock is below level, lowest stock first.
QList<LowStock> lowStock(Database& db, double level, const QDate& today);

// CSV exports; from and to (inclusive, local dates) may be left invalid for no
// bound. Each returns the number of data rows written. Each row ends with the
// unit of its quantities (單位, 公斤 written out).
qint64 exportCatalogue(Database& db, CsvFile& out);
// The sales of the filter, one row per line, oldest first.
qint64 exportSales(Database& db, CsvFile& out, const SalesFilter& filter);
qint64 exportSales(Database& db, CsvFile& out, const QDate& from = {}, const QDate& to = {});
qint64 exportJournal(Database& db, CsvFile& out, const QDate& from = {}, const QDate& to = {});

// The statements the reports run, each in every form it takes, built from the
// schema's names; values are bound. statements() lists every form, so each can
// be prepared against a fresh shop.
namespace sql {
// Sales from the journal (one cash row per order), newest first: scanning the
// time index, or, for a customer few orders carry, from that customer's orders
// (with a last row telling how many matched, up to the bound). A customer's
// part of a name is found through the trigram index when indexed (SQLite:
// bound first as the index's phrase, then as the LIKE pattern).
QString salesByTime(Dialect d, bool customer, bool after, bool person = false);
QString salesOfCustomer(Dialect d, bool indexed, bool after, bool person = false);
// How many orders' names hold a trigram, counted up to a bound (SQLite).
QString trigramOrders();
// The journal's first time: orders settled before it have no journal rows.
QString journalStart();
// Settled orders without journal rows in an order-date range, newest first,
// dated before one bound: the end of the range or the day after the journal's
// first, whichever comes first (one bound, so the index of the order dates
// reads just those days).
QString legacySales(Dialect d, bool from, bool customer, bool after);
QString journalLines();
QString orderJournaled();
QString orderStatus();
QString legacyLines();
QString receiptHead();
QString openingBalances();
QString dayMoves();
QString dailyTakings();
QString dayByPerson();
QString soldSince();
QString lowStock();
QString catalogue();
QString salesLines(Dialect d, bool customer, bool person = false);
QString legacySalesLines(Dialect d, bool from, bool to, bool customer);
QString journal();
QString saleMoney();
QString saleMethods();
QString takingsByMethod(Dialect d, bool customer, bool person = false);
QString refundsOfSale();
QString dayRefunds();
QString dailyRefunds();
} // namespace sql

} // namespace reports

} // namespace lumaro

namespace lumaro::reports::sql {
// The statements of this unit, for the test that prepares every statement.
QList<Statement> statements(Dialect dialect);
} // namespace lumaro::reports::sql
