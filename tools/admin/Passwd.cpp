#include "admin/Arguments.h"
#include "admin/Commands.h"
#include "admin/Help.h"
#include "admin/Terminal.h"

#include "books/Password.h"
#include "books/People.h"
#include "books/Shop.h"
#include "data/Database.h"

#include <algorithm>

namespace lumaro::admin {

// Sets a new password for the lock screen, which is also its holder's own. The
// shop keeps only its hash. A PostgreSQL server's own password comes from
// libpq (PGPASSWORD, ~/.pgpass).
int passwd(const QStringList& args)
{
    QCommandLineParser parser;
    parser.addPositionalArgument(QStringLiteral("file"), QString());
    if (const std::optional<int> stop = parseCommand(parser, QStringLiteral("passwd"), args))
        return *stop;
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        err(QStringLiteral("passwd 只接受一個資料檔名稱。"));
        return 2;
    }

    return exitCodeOf([&] {
        const QString target = chosenShop(files.value(0));
        {
            // Open first, so a wrong file is reported before a password is asked.
            std::unique_ptr<Database> db = openShop(target);
            QString password;
            if (!readNewPassword(&password))
                return 1;
            // The shop's password is also its holder's own: one that another
            // person signs in with would no longer tell who is working.
            const QList<people::Person> everyone = people::active(*db);
            const auto holder = std::find_if(everyone.cbegin(), everyone.cend(),
                                             [](const people::Person& p) { return p.holdsShopPassword; });
            if (holder != everyone.cend())
                people::setPassword(*db, holder->id, password);
            else
                storePassword(*db, password);
        }
        out(QStringLiteral("已更改 %1 的系統密碼。").arg(target));
        return 0;
    });
}

} // namespace lumaro::admin
