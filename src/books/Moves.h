#pragma once

#include "data/Statements.h"

#include "base/Money.h"
#include "books/Books.h"
#include "books/Kinds.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <functional>
#include <optional>

namespace lumaro {

class Database;

// The one engine of moves. A kind of move declares what it reads, refuses
// and writes; the runner does the rest for every kind: the move's id, made
// before its transaction (or the caller's, for a retry), the transaction
// (BEGIN IMMEDIATE on SQLite, the move lock on PostgreSQL), the journal rows,
// the changes they describe applied as relative updates (庫存 = 庫存 + ?,
// 現金 = 現金 + ?) so another terminal's moves in between are kept, and the
// commit, looked up by the id when its answer is lost. All of it is stored,
// or none of it.
namespace moves {

// The shop's balances: the account row, the table's first by its number.
struct AccountRow {
    QVariant id;
    Money cash;
    Money bank;
};
// Reads it; inside a move's transaction it is also locked against other
// terminals until the commit (the transaction holds the write lock on SQLite;
// FOR UPDATE on PostgreSQL). Fails when the table has no row, and with
// NumberError when a balance is no number a move can be worked out on.
AccountRow accountRow(Database& db);
// The account row's balances as stored, unchecked: for the check, which must
// be able to show a balance no move could be worked out on.
struct StoredAccountRow {
    QVariant id, cash, bank;
};
StoredAccountRow storedAccountRow(Database& db);
// Adds to the account row's balances by one relative update.
void addToBalances(Database& db, const QVariant& account, Money cash, Money bank);
// The record source of the account row: the screens' view of the balances.
QString accountRowSource();

// What a move declares inside its transaction, after the move has taken its
// lock: every figure it reads there is the one it is stored against.
class Plan {
public:
    explicit Plan(Database& db) : m_db(db) {}
    Database& db() { return m_db; }

    // The account row, read (and locked) on first use. The runner reads it
    // after the declaration when the declaration did not.
    const AccountRow& account();

    // A journal row of the move (its kind is the move's when left empty). Its
    // changes are what the move changes: the stock of its tea by stock, the
    // cash by cash, the bank by bank.
    void add(books::Entry row);
    // Rows the database writes itself (the checkout's lines, one statement
    // however many): write(db, moveId) inserts them under the move's id. They
    // change the stock of the teas they name, teas of them and none that a
    // row given to add() names, and never the cash or the bank.
    void addRows(std::function<void(Database&, const QString& moveId)> write, qsizetype teas);
    // What to throw when a tea the move changes is gone by the time its stock
    // is changed (deleted by another terminal meanwhile); by default a
    // DataError saying the row is gone.
    void onTeaGone(std::function<void()> refuse) { m_teaGone = std::move(refuse); }

private:
    friend struct Runner;
    struct Rows {
        books::Entry row; // when write is empty
        std::function<void(Database&, const QString&)> write;
    };
    Database& m_db;
    std::optional<AccountRow> m_account;
    QList<Rows> m_rows;
    qsizetype m_teas = 0;
    Money m_cash, m_bank;
    std::function<void()> m_teaGone;
};

// A kind of move and what one move of it declares. declare throws to refuse
// (MoveRefused, DataError, NumberError): nothing is stored. A declaration
// that adds no row stores nothing either.
struct Move {
    const Kind& kind;
    std::function<void(Plan&)> declare;
};

enum class Outcome {
    Stored,     // stored by this call
    Found,      // the caller's id was stored already: nothing was done again
    NothingDue, // the declaration added no row
};

// Runs a move, exactly once: a caller that retries a move passes the same
// moveId again, and a move already in the journal is not made a second time.
// Without one, each call is a new move.
Outcome run(Database& db, const Move& move, const QString& moveId = QString());

} // namespace moves

} // namespace lumaro

namespace lumaro::moves {
// The statements of this unit, for the test that prepares every statement.
QList<Statement> statements(Dialect dialect);
} // namespace lumaro::moves
