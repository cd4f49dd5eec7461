#include "upkeep/StatementRegistry.h"

#include "books/Audit.h"
#include "books/Books.h"
#include "books/Find.h"
#include "books/MoneyMoves.h"
#include "books/Moves.h"
#include "books/Opening.h"
#include "books/OrderStore.h"
#include "books/Password.h"
#include "books/Payments.h"
#include "books/People.h"
#include "books/Reports.h"
#include "books/Returns.h"
#include "books/SampleShop.h"
#include "books/Settings.h"
#include "books/StockCount.h"
#include "books/TeaUnits.h"
#include "books/Upgrade.h"
#include "data/DataControl.h"
#include "data/Database.h"
#include "data/Links.h"
#include "data/Schema.h"
#include "data/ShopObjects.h"
#include "data/Snapshot.h"
#include "data/Transaction.h"

namespace lumaro {

QList<Statement> allStatements(Dialect dialect)
{
    using Lister = QList<Statement> (*)(Dialect);
    static const Lister modules[] = {
        schema::statements,   databaseStatements,       dataControlStatements,  books::statements,
        moves::statements,    money::statements,        OrderStore::statements, links::statements,
        find::statements,     settings::statements,     payments::statements,   passwordStatements,
        openingStatements,    sampleShopStatements,     auditStatements,        shopObjectStatements,
        upgrade::statements,  reports::sql::statements, snapshotStatements,     transactionStatements,
        teaUnits::statements, returns::statements,      stock::statements,      people::statements,
    };
    QList<Statement> out;
    for (Lister list : modules)
        out += list(dialect);
    return out;
}

} // namespace lumaro
