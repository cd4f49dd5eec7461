#include "data/Postgres.h"

#include "data/DataError.h"
#include "data/Faults.h"
#include "data/PostgresAddress.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>

#include <libpq-fe.h>
#include <poll.h>
#include <vector>

namespace lumaro {

namespace {

// The advisory lock every PostgreSQL transaction of the shop takes first.
constexpr qint64 MoveLockKey = 0x4c756d61726f; // "Lumaro"

enum class PasswordNeed { None, Missing, Refused };

// Whether a failed connection failed for its password. The driver keeps only
// libpq's message, which libpq and the server may give in any language, so
// libpq is asked itself on a connection of the same parameters: whether the
// server wanted a password none was there for, or refused the one given
// (SQLSTATE 28P01, which libpq reports at the SQLSTATE verbosity).
PasswordNeed passwordNeed(const QSqlDatabase& db)
{
    QList<QByteArray> keys, values;
    auto add = [&](const char* key, const QString& value) {
        if (!value.isEmpty()) {
            keys << QByteArray(key);
            values << value.toUtf8();
        }
    };
    add("host", db.hostName());
    add("port", db.port() > 0 ? QString::number(db.port()) : QString());
    add("dbname", db.databaseName());
    add("user", db.userName());
    add("password", db.password());
    for (const QString& option : db.connectOptions().split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString key = option.section(QLatin1Char('='), 0, 0).trimmed();
        if (key != QLatin1String("password"))
            add(key.toUtf8().constData(), option.section(QLatin1Char('='), 1).trimmed());
    }
    std::vector<const char*> kw, val;
    for (int i = 0; i < keys.size(); ++i) {
        kw.push_back(keys[i].constData());
        val.push_back(values[i].constData());
    }
    kw.push_back(nullptr);
    val.push_back(nullptr);

    PGconn* c = PQconnectStartParams(kw.data(), val.data(), 0);
    if (!c)
        return PasswordNeed::None;
    PQsetErrorVerbosity(c, PQERRORS_SQLSTATE);
    PostgresPollingStatusType st = PGRES_POLLING_WRITING;
    while (PQstatus(c) != CONNECTION_BAD && st != PGRES_POLLING_OK && st != PGRES_POLLING_FAILED) {
        pollfd p{PQsocket(c), short(st == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
        if (p.fd < 0 || ::poll(&p, 1, 30000) <= 0)
            break;
        st = PQconnectPoll(c);
    }
    PasswordNeed need = PasswordNeed::None;
    if (PQstatus(c) == CONNECTION_BAD) {
        static const QRegularExpression invalidPassword(QStringLiteral("\\b28P01\\b"));
        if (PQconnectionNeedsPassword(c))
            need = PasswordNeed::Missing;
        else if (invalidPassword.match(QString::fromUtf8(PQerrorMessage(c))).hasMatch())
            need = PasswordNeed::Refused;
    }
    PQfinish(c);
    return need;
}

// Connects to the server named by target. A server that wants a password it
// did not get (or did not accept) is told apart, so the program can ask.
} // namespace

QSqlDatabase connectPostgres(const QString& name, const QString& target, const QString& password)
{
    requireDriver(QStringLiteral("QPSQL"),
                  QStringLiteral("這台電腦沒有安裝 PostgreSQL 的資料庫驅動程式（libqt6sql6-psql）。"));
    const PostgresAddress address = readPostgresAddress(target);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
    db.setDatabaseName(address.database);
    if (!address.host.isEmpty())
        db.setHostName(address.host);
    if (address.port > 0)
        db.setPort(address.port);
    if (!address.user.isEmpty())
        db.setUserName(address.user);
    if (!password.isEmpty())
        db.setPassword(password);
    db.setConnectOptions(address.options);
    if (!db.open()) {
        const DataError e = dataError(db.lastError(), db, true);
        switch (passwordNeed(db)) {
        case PasswordNeed::Missing:
            throw ServerPasswordError(QStringLiteral("資料庫伺服器要求輸入密碼。"));
        case PasswordNeed::Refused:
            throw ServerPasswordError(QStringLiteral("資料庫伺服器不接受這個密碼。"));
        case PasswordNeed::None:
            break;
        }
        throw DataError(QStringLiteral(
                            "無法連線到資料庫伺服器（%1）。請確認伺服器已經啟動、位址正確，而且資料庫存在。\r（%2）")
                            .arg(address.describe(), rawErrorText(db.lastError())),
                        e.fault(), e.original());
    }
    QSqlQuery(db).exec(postgresUtf8Sql());
    return db;
}

const QString& postgresUtf8Sql()
{
    static const QString sql = QStringLiteral("SET client_encoding TO 'UTF8'");
    return sql;
}

const QString& postgresReadOnlySessionSql()
{
    static const QString sql = QStringLiteral("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY");
    return sql;
}

QString moveLockSql(MoveLockWait wait)
{
    if (wait == MoveLockWait::Wait)
        return QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(MoveLockKey);
    // One round trip: the subquery, which a volatile function keeps from
    // being merged into the outer query, sets the timeout before the lock is
    // asked for, and the outer list puts the old value back after it is
    // taken.
    return QStringLiteral("SELECT pg_advisory_xact_lock(%1), set_config('lock_timeout', s.was, true) FROM "
                          "(SELECT current_setting('lock_timeout') AS was, "
                          "set_config('lock_timeout', '500ms', true) AS asked) s")
        .arg(MoveLockKey);
}

} // namespace lumaro
