#pragma once

#include <QString>

#include <functional>

namespace lumaro {
class Database;
class MDI_frm;
}

namespace bench {

// Years of a busy shop's sales: orders settled orders of linesPerOrder lines
// each, spread evenly over the ten years up to now, with their journal rows
// (one per line and one for the cash), as checkouts would have left them.
// One transaction; customers are drawn from a few hundred names.
void buildSalesHistory(lumaro::Database& db, int orders, int linesPerOrder);

// The 銷售紀錄 actions over such a shop, each timed against its floor (the
// page of orders and the chosen order's lines read directly). add receives
// name, the screen's work and the floor's work.
using AddAction = std::function<void(const QString& name, std::function<void()> screen, std::function<void()> floor)>;
void addSalesHistoryActions(lumaro::MDI_frm& window, lumaro::Database& db, const AddAction& add);

} // namespace bench
