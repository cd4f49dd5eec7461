#include "books/ShopRefusals.h"

#include "books/Password.h"
#include "books/Upgrade.h"
#include "data/DataError.h"
#include "data/Schema.h"
#include "data/ShopObjects.h"

namespace lumaro {

QList<Refusal> shopRefusals(Database& db, RefusalStage upTo)
{
    const int version = upgrade::versionOf(db);
    if (version > schema::CurrentVersion)
        return {{Refusal::Kind::Newer, upgrade::newerShopText(version)}};
    QList<Refusal> found;
    if (const QString why = foreignCodeRefusal(foreignObjects(db)); !why.isEmpty())
        found << Refusal{Refusal::Kind::ForeignCode, why};
    if (upTo == RefusalStage::Open)
        return found;
    if (const QString why = upgrade::blocker(db); !why.isEmpty())
        found << Refusal{Refusal::Kind::Upgrade, why};
    if (const QString why = unlockRefusal(db); !why.isEmpty())
        found << Refusal{Refusal::Kind::Unlock, why};
    return found;
}

void refuseToOpen(Database& db)
{
    const QList<Refusal> found = shopRefusals(db, RefusalStage::Open);
    if (found.isEmpty())
        return;
    if (found[0].kind == Refusal::Kind::Newer)
        throw upgrade::NewerShopError(found[0].text);
    throw DataError(found[0].text);
}

} // namespace lumaro
