#pragma once

#include <QString>

#include <functional>

namespace lumaro {
class Database;
}

namespace bench {

// Years of a busy shop's sales: orders settled orders of linesPerOrder lines
// each, spread evenly over the ten years up to now, with their journal rows
// (one per line and one for the cash), the stock they took and the cash they
// brought, as checkouts would have left them; the shop's opening rows move to
// before the first sale. One transaction; customers are drawn from a few
// hundred names.
void buildSalesHistory(lumaro::Database& db, int orders, int linesPerOrder);

} // namespace bench
