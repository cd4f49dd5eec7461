#pragma once

#include <QString>

namespace lumaro {

// A shared shop's address, postgresql://user@host:port/database?key=value,
// read into the parts the PostgreSQL driver takes. The driver pastes its
// connect options into libpq's connection string as they are, so each option
// is checked against the few a shop may need and passed quoted; a password is
// refused wherever it stands, since an address ends up on command lines and
// in desktop files that others can read.
struct PostgresAddress {
    QString host;  // empty: the local socket
    int port = -1; // -1: libpq's default
    QString database;
    QString user;    // empty: libpq's default (the login name)
    QString options; // for QSqlDatabase::setConnectOptions()

    // The server and database in words, for messages: 主機 db、埠 5432、資料庫「shop」
    QString describe() const;
};

// Throws DataError, in Chinese, for an address it cannot take.
PostgresAddress readPostgresAddress(const QString& url);

} // namespace lumaro
