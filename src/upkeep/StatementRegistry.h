#pragma once

#include "data/Statements.h"

namespace lumaro {

// Every statement of every room, in the order the test prepares them.
QList<Statement> allStatements(Dialect dialect);

} // namespace lumaro
