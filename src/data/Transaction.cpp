#include "data/Transaction.h"

#include "data/DataError.h"
#include "data/Faults.h"
#include "data/Postgres.h"
#include "data/Schema.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSqlError>
#include <QThread>

#include <sqlite3.h>

namespace lumaro {

namespace {

const QString kBeginImmediate = QStringLiteral("BEGIN IMMEDIATE");
const QString kBegin = QStringLiteral("BEGIN");
const QString kCommit = QStringLiteral("COMMIT");
const QString kRollback = QStringLiteral("ROLLBACK");

std::function<void(bool)>& waitNotifier()
{
    static std::function<void(bool)> notify;
    return notify;
}

// Tells the program that a move waits, once it has waited half a second, and
// that the wait is over when it leaves.
class WaitNotice {
public:
    WaitNotice() { m_timer.start(); }
    ~WaitNotice()
    {
        if (m_shown && waitNotifier())
            waitNotifier()(false);
    }
    qint64 elapsed() const { return m_timer.elapsed(); }
    void check()
    {
        if (!m_shown && m_timer.elapsed() >= 500) {
            m_shown = true;
            if (waitNotifier())
                waitNotifier()(true);
        }
    }

private:
    QElapsedTimer m_timer;
    bool m_shown = false;
};

// How long a move waits for the other terminals before it gives up. With
// every waiting terminal trying again every few milliseconds, and the ones
// that have waited longest trying most often, each gets its turn within a
// second or two even when eight counters work flat out.
constexpr qint64 MoveWaitLimitMs = 120000;

} // namespace

void Database::setWaitNotifier(std::function<void(bool)> notify) { waitNotifier() = std::move(notify); }

void Database::begin()
{
    if (m_inTransaction)
        throw DataError(QStringLiteral("上一個動作還沒有完成，請稍後再試。"));
    reconnectIfLost();
    if (isSQLite())
        beginSQLite();
    else
        beginPostgres();
}

void Database::beginSQLite()
{
    // BEGIN IMMEDIATE takes the write lock at once or answers busy, and the
    // waiting is done here rather than in SQLite's busy handler. That handler
    // sleeps ever longer between tries (a tenth of a second at last), so under
    // a steady stream of moves from other terminals a waiting one kept missing
    // the moments the lock was free and gave up after its timeout. Here a
    // waiting move tries again every millisecond or two, more often the
    // longer it has waited, so the oldest waiters are the likeliest to go next.
    sqlite3* h = sqliteHandle(sql());
    struct Timeout {
        sqlite3* h;
        ~Timeout()
        {
            if (h)
                sqlite3_busy_timeout(h, 5000);
        }
    } restore{h};
    if (h)
        sqlite3_busy_timeout(h, 0);
    QSqlQuery q(sql());
    WaitNotice wait;
    while (!q.exec(kBeginImmediate)) {
        const QSqlError e = q.lastError();
        if ((e.nativeErrorCode().toInt() & 0xff) != SQLITE_BUSY || wait.elapsed() >= MoveWaitLimitMs)
            fail(e);
        wait.check();
        const qint64 waited = wait.elapsed();
        const int most = waited < 100 ? 2000 : waited < 1000 ? 1000 : 400;
        QThread::usleep(QRandomGenerator::global()->bounded(most / 4, most));
    }
    m_inTransaction = true;
}

void Database::beginPostgres()
{
    QSqlQuery q(sql());
    if (!q.exec(kBegin))
        fail(q.lastError());
    m_inTransaction = true;
    // One move at a time across terminals, as BEGIN IMMEDIATE gives on the
    // shop file. Moves lock the account row and tea rows in different orders
    // (a checkout its teas first, a purchase the cash first); two of them
    // holding one each would deadlock, and the server would end one with an
    // error the user sees. The lock goes with the transaction. Waiting moves
    // queue for it on the server, first come first served: under a steady
    // stream of moves from eight counters none waits much longer than the
    // moves ahead of it take. One that has waited half a second says so and
    // queues again, for as long as it takes.
    WaitNotice wait;
    if (!q.exec(moveLockSql(MoveLockWait::HalfASecond))) {
        const QSqlError e = q.lastError();
        rollback();
        if (e.nativeErrorCode() != QLatin1String("55P03"))
            fail(e);
        if (!q.exec(kBegin))
            fail(q.lastError());
        m_inTransaction = true;
        wait.check();
        if (!q.exec(moveLockSql(MoveLockWait::Wait))) {
            const QSqlError again = q.lastError();
            rollback();
            fail(again);
        }
    }
    q.finish();
}

void Database::commit()
{
    QSqlQuery q(sql());
    if (!q.exec(kCommit)) {
        const QSqlError e = q.lastError();
        rollback();
        fail(e);
    }
    m_inTransaction = false;
}

void Database::commitMove(const MoveLookup& stored)
{
    QSqlError e;
    {
        QSqlQuery q(sql());
        if (q.exec(kCommit)) {
            m_inTransaction = false;
            return;
        }
        e = q.lastError();
    }
    rollback();
    if (settleFailedMove(stored))
        return;
    fail(e);
}

void Database::reopen()
{
    QSqlDatabase db = sql();
    db.close();
    if (!db.open())
        fail(db.lastError());
    m_connectionLost = false;
    if (isSQLite())
        configureSQLite();
    else
        QSqlQuery(db).exec(postgresUtf8Sql());
    applyJournalStamp();
}

bool Database::settleFailedMove(const MoveLookup& stored)
{
    try {
        // A fresh connection sees what another terminal would. On a shop file
        // that nobody else has open it also reads the write-ahead log afresh,
        // as the next start of the program would: a commit whose frames
        // reached the log counts as stored even when its sync failed.
        reopen();
        if (stored(*this))
            return true;
        if (isSQLite()) {
            // Not stored now, and it must not come back later: a log that
            // still held the failed commit's frames would bring it back at the
            // next start. A small commit written over them settles that.
            begin();
            exec(schema::sqliteSetVersionSql(scalar(schema::sqliteVersionSql()).toInt())).finish();
            commit();
        }
        return false;
    } catch (const DataError& lookup) {
        rollback();
        throw DataError(
            QStringLiteral(
                "無法確認這次的變更是否已經儲存（%1）。請重新開啟這個畫面，看看變更在不在，再決定要不要重做。")
                .arg(lookup.description().section(QLatin1Char('\r'), 0, 0)));
    }
}

void Database::rollback() noexcept
{
    QSqlQuery q(sql());
    q.exec(kRollback);
    m_inTransaction = false;
}

QList<Statement> transactionStatements(Dialect dialect)
{
    const QString m = QStringLiteral("database: ");
    QList<Statement> out = {
        {m + QStringLiteral("commit"), kCommit},
        {m + QStringLiteral("rollback"), kRollback},
    };
    if (dialect == Dialect::SQLite)
        out << Statement{m + QStringLiteral("begin"), kBeginImmediate};
    else
        out += QList<Statement>{
            {m + QStringLiteral("begin"), kBegin},
            {m + QStringLiteral("move lock, half a second"), moveLockSql(MoveLockWait::HalfASecond)},
            {m + QStringLiteral("wait for move lock"), moveLockSql(MoveLockWait::Wait)},
        };
    return out;
}

} // namespace lumaro
