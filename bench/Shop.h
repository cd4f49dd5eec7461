#pragma once

#include <QString>

namespace lumaro {
class Database;
}

namespace bench {

struct ShopSize {
    int teas = 1000;
    int openOrders = 20;
    int linesPerOrder = 5;
    int bigOrderLines = 500; // one more open order with this many lines; 0 for none
    int historyOrders = 0;   // settled orders
    int historyLines = 0;    // their lines, spread evenly
};

// The floor's shop: one screenful of each list, the sales history included.
ShopSize screenfulShop();

inline const QString BenchPassword = QStringLiteral("bench");

// Creates the shop with the program's own code, then fills it in one
// transaction. Teas are numbered B0000001..., every order line is 1 to 3 kg.
void buildShop(const QString& target, const ShopSize& size);

// Open orders of the given lines for terminals to check out, each named
// 櫃台 and its terminal's number; returns their numbers by terminal.
QList<QList<qlonglong>> addTerminalOrders(lumaro::Database& db, int terminals, int ordersEach, int lines);

// What an existing shop holds, for the report.
ShopSize measureShop(lumaro::Database& db);

// The order with the most lines among the open ones (the big one when there
// is one).
qlonglong biggestOrder(lumaro::Database& db);

// Databases on a PostgreSQL server, made and dropped as whole shops are.
// url names the server and a database on it; the maintenance database
// (postgres) is used to make and drop others.
namespace server {
// The URL of database name on url's server.
QString databaseUrl(const QString& url, const QString& name);
// Whether url names the maintenance database (or none): no place for a shop.
bool namesNoShop(const QString& url);
bool exists(const QString& url); // whether url's database is there
void create(const QString& url); // makes url's database, empty
void drop(const QString& url) noexcept;
} // namespace server

} // namespace bench
