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

// What an existing shop holds, for the report.
ShopSize measureShop(lumaro::Database& db);

// The order with the most lines among the open ones (the big one when there
// is one).
qlonglong biggestOrder(lumaro::Database& db);

} // namespace bench
