#pragma once

#include <QList>
#include <QString>

// Every statement the program runs is listed beside the code that runs it, so
// that one test can prepare each against a fresh shop on both databases. A
// module's code takes its text from the same small builders its list calls;
// statements put together at run time (column lists, IN lists) are listed in a
// representative form made by the builder the code uses. So a list cannot say
// one thing and the code run another.
//
// To register a module: define `QList<Statement> statements(Dialect)` in its
// source file, next to its builders, declare it in the module's header, and
// add it to the modules listed in upkeep/StatementRegistry.cpp.
namespace lumaro {

// The two databases a shop can live in.
enum class Dialect { SQLite, PostgreSQL };

// How a statement can be checked without changing the shop.
enum class StatementCheck {
    Prepare,    // prepared on a shop at the current version
    RunOnShop,  // run in listed order on a shop, in a transaction rolled back
    RunOnEmpty, // makes the shop's tables: run in listed order where there are
                // none yet, in a transaction rolled back
};

struct Statement {
    QString name; // module and purpose, for the test that names a failing one
    QString text;
    StatementCheck check = StatementCheck::Prepare;
};

} // namespace lumaro
