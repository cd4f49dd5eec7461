#include "books/Shop.h"

#include "books/Books.h"
#include "books/Password.h"
#include "books/People.h"
#include "books/SampleShop.h"
#include "books/ShopRefusals.h"
#include "data/Database.h"

namespace lumaro {

std::unique_ptr<Database> openShop(const QString& target, const QString& password)
{
    return Database::connect(target, password, refuseToOpen);
}

std::unique_ptr<Database> createShop(const QString& target, const QString& password, bool sample)
{
    return createShop(target, password, sample ? std::function<void(Database&)>(fillSampleShop) : nullptr);
}

std::unique_ptr<Database> createShop(const QString& target, const QString& password,
                                     const std::function<void(Database&)>& fill)
{
    return Database::create(target, [&](Database& db) {
        const QString hash = storeFirstPassword(db, password);
        people::addFirstOwner(db);
        if (fill)
            fill(db);
        noteNewShopPassword(db, password, hash);
        // The books open on the balances the shop starts with (an imported
        // shop's; its teas journaled their stock as they were added).
        books::recordOpening(db, QStringLiteral("新商店的期初餘額"), false);
    });
}

} // namespace lumaro
