#include "data/Statements.h"

namespace lumaro {

QList<Statement> allStatements(Database::Kind dialect)
{
    using Lister = QList<Statement> (*)(Database::Kind);
    static const Lister modules[] = {
        schema::statements,     databaseStatements,     dataControlStatements, books::statements,
        money::statements,      OrderStore::statements, links::statements,     find::statements,
        settings::statements,   passwordStatements,     openingStatements,     sampleShopStatements,
        legacyImportStatements, maintenanceStatements,  shopObjectStatements,  upgrade::statements,
    };
    QList<Statement> out;
    for (Lister list : modules)
        out += list(dialect);
    return out;
}

} // namespace lumaro
