#pragma once

#include "data/Statements.h"

#include "base/Money.h"

#include <QString>

#include <optional>

namespace lumaro {

class Database;

// The money a new shop starts with: the float in the drawer and the bank
// balance. They become the books' opening rows.
struct OpeningBalances {
    Money cash;
    Money bank;
};

// Reads an opening amount as the owner types it: blank is 0; otherwise a plain
// number (no units or grouping), 0 or more, finite and within the shop's range.
// Returns nothing and sets why (in Chinese) when the text is refused.
std::optional<Money> readOpeningAmount(const QString& text, QString* why);

// Sets the new shop's balances, inside Database::create's transaction (its
// fill), before the opening rows are written from them.
void setOpeningBalances(Database& db, const OpeningBalances& opening);
// The same with the figures as another file stored them, unconverted.
void setStoredBalances(Database& db, const QVariant& cash, const QVariant& bank);

} // namespace lumaro

namespace lumaro {
// The statements of this unit, for the test that prepares every statement.
QList<Statement> openingStatements(Dialect dialect);
} // namespace lumaro
