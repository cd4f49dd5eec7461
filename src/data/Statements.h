#pragma once

#include "data/Database.h"

#include <QList>
#include <QString>

// Every statement the data layer runs, gathered so that one test can prepare
// each against a fresh shop on both databases. A module's code takes its text
// from the same small builders its list calls; statements put together at run
// time (column lists, IN lists) are listed in a representative form made by
// the builder the code uses. So a list cannot say one thing and the code run
// another.
//
// To register a module: define `QList<Statement> statements(Database::Kind)`
// in its source file, next to its builders, declare it below, and add it to
// the modules listed in Statements.cpp.
namespace lumaro {

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

// Every statement of every registered module, for one database.
QList<Statement> allStatements(Database::Kind dialect);

// The modules' lists.
QList<Statement> databaseStatements(Database::Kind);
QList<Statement> dataControlStatements(Database::Kind);
QList<Statement> legacyImportStatements(Database::Kind);
QList<Statement> maintenanceStatements(Database::Kind);
QList<Statement> openingStatements(Database::Kind);
QList<Statement> passwordStatements(Database::Kind);
QList<Statement> sampleShopStatements(Database::Kind);
QList<Statement> shopObjectStatements(Database::Kind);
namespace books {
QList<Statement> statements(Database::Kind);
}
namespace find {
QList<Statement> statements(Database::Kind);
}
namespace links {
QList<Statement> statements(Database::Kind);
}
namespace money {
QList<Statement> statements(Database::Kind);
}
namespace OrderStore {
QList<Statement> statements(Database::Kind);
}
namespace schema {
QList<Statement> statements(Database::Kind);
}
namespace settings {
QList<Statement> statements(Database::Kind);
}
namespace upgrade {
QList<Statement> statements(Database::Kind);
}

} // namespace lumaro
