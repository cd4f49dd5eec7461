#pragma once

#include "data/Statements.h"

#include "base/Money.h"

#include <QList>
#include <QString>
#include <QVariant>

namespace lumaro {

class Database;
class Transaction;

// The shop's books: the journal (帳務日誌表) of every change to the cash, the
// bank and each tea's stock. Every move writes its rows in its own
// transaction, under an id the terminal made before the transaction began, so
// a move whose COMMIT answer was lost can be looked up afterwards. The
// opening rows (期初) plus the journal give every balance and stock.
namespace books {

// A fresh move id: a random UUID, unique across terminals.
QString newMoveId();
// The name this terminal writes into its journal rows: the machine's name.
QString terminalName();

struct Entry {
    QString kind;       // the name of its kind (Kinds.h)
    QVariant order;     // the order number, or NULL
    QVariant tea;       // the tea number, or NULL
    QVariant teaName;   // the tea's name at the time
    Money stock;        // in the tea's unit
    QVariant unitPrice; // the price charged (or paid) per unit, or NULL
    Money cash;
    Money bank;
    QString note;
    QString unit; // the unit of stock and unitPrice as stored: empty (NULL) for 公斤
    // A sale's: on a money row its payment method, the order's discount and
    // the cash handed over (on the cash row); on a line row the line's
    // discount. NULL when none.
    QVariant method;
    QVariant discount;
    QVariant tendered;
    // A return's: the sale's move id, and on a line row the id of the sale's
    // row of that line. NULL otherwise.
    QString source;
    QVariant sourceRow;
    // Why stock was counted, written off or returned; empty when not said.
    QString reason;
};

// Writes one row of a move. The time is the database's clock in UTC (the
// server's on PostgreSQL, so every terminal writes the same clock).
void record(Database& db, const QString& moveId, const Entry& e);

// Writes a checkout's rows for each line of order in one statement: the tea,
// its name, -quantity and the sale price charged, and its unit, as they stand
// in the transaction.
void recordCheckoutLines(Database& db, const QString& moveId, qlonglong order);
// Sets the discount of each of the move's line rows, in the order they were
// written (the order's lines in the order they were added); a zero leaves it
// empty.
void recordLineDiscounts(Database& db, const QString& moveId, const QList<Money>& discounts);

// Opening rows (期初) with the balances as they stand, one row for cash and
// bank, and with teas also one per tea with a stock. (A tea added with a
// stock later journals it by itself.)
void recordOpening(Database& db, const QString& note, bool teas);

// True when a row of the move is in the journal.
bool moveStored(Database& db, const QString& moveId);

// Commits a move whose journal rows carry moveId; when the COMMIT fails or
// its answer is lost, the id is looked up on a fresh connection.
void commitMove(Transaction& t, const QString& moveId);

// The SQL expression of the current time in UTC, 'YYYY-MM-DD HH:MM:SS'.
QString nowUtc(const Database& db);

} // namespace books

} // namespace lumaro

namespace lumaro::books {
// The statements of this unit, for the test that prepares every statement.
QList<Statement> statements(Dialect dialect);
} // namespace lumaro::books
