#pragma once

#include <QString>

namespace lumaro {
class Database;
}

namespace bench {

struct ShopSize {
    QString name;
    int teas;
    int openOrders;
    int linesPerOrder;
    int bigOrderLines; // one more open order with this many lines; 0 for none
};

ShopSize smallShop();
ShopSize largeShop();

inline const QString BenchPassword = QStringLiteral("bench");

// Creates the shop with the program's own code, then fills it in one
// transaction. Teas are numbered B00001..., every order line is 1 to 3 kg.
void buildShop(const QString& target, const ShopSize& size);

// The order with the most lines (the big one when there is one).
qlonglong biggestOrder(lumaro::Database& db);

} // namespace bench
