#pragma once

#include "data/Statements.h"

namespace lumaro {

class Database;

// A small catalogue of well-known teas and three open orders, for trying the
// program out and for screenshots. Runs inside the caller's transaction.
void fillSampleShop(Database& db);

} // namespace lumaro

namespace lumaro {
// The statements of this unit, for the test that prepares every statement.
QList<Statement> sampleShopStatements(Dialect dialect);
} // namespace lumaro
