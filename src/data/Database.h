#pragma once

#include "data/Statements.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

#include <functional>
#include <memory>

namespace lumaro {

// The PostgreSQL server wants a password that was not given, or refused the
// one given.
class ServerPasswordError;

// One open shop: the SQLite file (teadata.db by default) or a PostgreSQL
// database shared by several terminals. Every failure throws DataError with a
// message the shop owner can read.
class Database {
public:
    using Kind = Dialect;
    // Whether a move is in the shop, asked on a fresh connection after its
    // COMMIT failed or its answer was lost.
    using MoveLookup = std::function<bool(Database&)>;

    static const QString& defaultFile(); // teadata.db

    // Connects to an existing shop's tables. target is a file path or a
    // postgresql:// URL. password is only used for PostgreSQL; empty lets libpq
    // find one itself (PGPASSWORD, ~/.pgpass). Throws ServerPasswordError when
    // the server still wants one. vet runs once the tables are found and
    // before anything is written (a shop file is switched to its write-ahead
    // log only after it), so a file it refuses is left exactly as it was.
    // Opening a shop with its rules is openShop's (books/Shop.h).
    static std::unique_ptr<Database> connect(const QString& target, const QString& password,
                                             const std::function<void(Database&)>& vet);

    // Opens an existing shop to read it only (check, backup). A shop file is
    // neither changed nor converted, and may be read-only or on read-only
    // media; nothing is left beside it that was not there. Objects Lumaro did
    // not make are not refused here, so they can be listed.
    static std::unique_ptr<Database> openReadOnly(const QString& target);

    // Makes a new shop's tables at the current version with one account row at
    // 0 and 0, then runs fill, all in one transaction: the new shop exists with
    // everything fill stored, or not at all. Refuses a file (or a PostgreSQL
    // database) that already holds a shop, and leaves nothing behind when it
    // fails. Creating a shop with its password and books is createShop's.
    static std::unique_ptr<Database> create(const QString& target, const std::function<void(Database&)>& fill);

    static bool isPostgresUrl(const QString& target);

    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    Kind kind() const { return m_kind; }
    bool isSQLite() const { return m_kind == Kind::SQLite; }
    const QString& target() const { return m_target; }
    QSqlDatabase sql() const;

    // Runs one statement with bound values; throws DataError with the
    // database's own text. SELECT results are left for the caller to read.
    QSqlQuery exec(const QString& statement, const QVariantList& params = {});
    // A statement prepared once, to be run many times with run(): the same
    // UPDATE for every line of a large order.
    QSqlQuery prepare(const QString& statement);
    void run(QSqlQuery& prepared, const QVariantList& params);
    // Runs a SELECT and returns its first column of its first row (null when
    // there is no row).
    QVariant scalar(const QString& statement, const QVariantList& params = {});

    // Transactions that take the write lock at once (BEGIN IMMEDIATE on
    // SQLite), so a move never fails half-way because another terminal wrote.
    void begin();
    void commit(); // a failed COMMIT is rolled back before it throws
    // Commits a money move. When the COMMIT fails or its answer is lost, a
    // fresh connection asks stored: yes, the move is stored and this returns
    // normally; no, the move is made certain never to appear later and the
    // failure is thrown, so the user may safely make the move again.
    void commitMove(const MoveLookup& stored);
    void rollback() noexcept;
    bool inTransaction() const { return m_inTransaction; }

    // Writes every committed move into the shop file itself and closes the
    // connection, so the file alone holds everything (a copy made afterwards
    // needs no -wal beside it). Used when the program ends.
    void closeForExit() noexcept;
    // Leaves the write-ahead log for a plain rollback journal, so the file
    // stands alone (a shop made under another name before it takes its own);
    // the program turns the log back on when it opens the shop.
    void useRollbackJournal();
    // The same for a shop file nobody may have open, without reading its
    // tables: a file the program refuses, or a damaged one, is folded as far
    // as SQLite can, and a rollback journal a crash left is rolled back.
    // When nobody else has it open, SQLite then removes its -wal and -shm.
    static void foldLog(const QString& file) noexcept;

    // Told true when a move has waited half a second for another terminal to
    // finish its own, and false when the wait is over: the program shows a
    // wait cursor meanwhile. Process-wide; the data layer shows nothing itself.
    static void setWaitNotifier(std::function<void(bool waiting)> notify);

    // An amount or a weight computed in SQL, rounded to four decimals, the
    // scale of Money: binary noise such as 0.3 - 0.1 - 0.2 must not leave a
    // balance of -0.0000000000000000277, nor build up over many moves.
    QString roundedAmount(const QString& expression) const { return roundedAmount(m_kind, expression); }
    static QString roundedAmount(Kind kind, const QString& expression);

    // Who is signed in at this terminal, and the owner who allowed the action
    // under way (null for none), by their numbers in 人員表: every journal row
    // this connection writes from now on names them, also a row the file's own
    // triggers write. Kept across a reconnection. Only for a shop of version 8
    // or later, whose journal has the columns.
    void setJournalStamp(const QVariant& person, const QVariant& approver);

    // Confirms that the five shop tables are there with their columns.
    void checkShopTables();

    // From now on tick() is called every thousand or so steps of SQLite's
    // while a statement of this connection runs (a long check tells how far
    // it is); when it returns true, the statement gives up with an error (a
    // backup under way when the program ends). SQLite only; empty to stop.
    void onProgress(std::function<bool()> tick);

private:
    Database(Kind kind, const QString& target, const QString& connectionName);
    void configureSQLite();
    void beginSQLite();
    void beginPostgres();
    // Throws the error as a DataError, noting a lost server connection.
    [[noreturn]] void fail(const QSqlError& e);
    void reconnectIfLost();
    // Closes the connection and opens it anew, as a new terminal would.
    void reopen();
    // After a failed COMMIT: whether the move is stored, as a fresh
    // connection sees the shop.
    bool settleFailedMove(const MoveLookup& stored);

    Kind m_kind;
    QString m_target;
    QString m_connection;
    bool m_inTransaction = false;
    bool m_connectionLost = false;
    QVariant m_person;
    QVariant m_approver;
    std::function<bool()> m_progress;
    void applyJournalStamp();
};

QString quoteIdentifier(const QString& name);

// Turns a SQLite connection read only: a read-only opening and a backup that
// must not change a byte of the shop file both use it.
const QString& sqliteQueryOnlySql();

} // namespace lumaro

namespace lumaro {
// The statements of this unit, for the test that prepares every statement.
QList<Statement> databaseStatements(Dialect dialect);
} // namespace lumaro
