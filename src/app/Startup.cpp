#include "app/Startup.h"

#include "app/FirstRunDialog.h"
#include "data/DataError.h"
#include "data/Database.h"
#include "data/Upgrade.h"
#include "platform/Prompts.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace lumaro {

StartupOptions parseArguments(const QStringList& args)
{
    StartupOptions o;
    o.database = Database::defaultFile();
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--database") || a == QLatin1String("-d")) {
            if (i + 1 >= args.size()) {
                o.error = QStringLiteral("--database 後面要接資料檔的名稱或資料庫位址。");
                return o;
            }
            o.database = args[++i];
        } else if (a.startsWith(QLatin1String("--database="))) {
            o.database = a.mid(11);
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            o.help = true;
        } else {
            o.error = QStringLiteral("不認得的參數：%1").arg(a);
            return o;
        }
    }
    return o;
}

namespace {

// A shared server may want a password that libpq could not find on its own.
// It is asked for here, never taken from the command line; three tries.
std::unique_ptr<Database> openAskingServerPassword(const QString& target)
{
    QString password;
    for (int tries = 0;; ++tries) {
        try {
            return Database::open(target, password);
        } catch (const ServerPasswordError& e) {
            if (tries >= 3)
                throw;
            const QUrl url(target);
            const QString who = url.userName().isEmpty() ? url.host() : url.userName() + QLatin1Char('@') + url.host();
            password = prompts().secret(QStringLiteral("%1\r請輸入 %2 的資料庫密碼：").arg(e.description(), who),
                                       QStringLiteral("連線到資料庫"));
            if (password.isEmpty())
                throw;
        }
    }
}

} // namespace

std::unique_ptr<Database> openShop(const StartupOptions& options)
{
    const QString& target = options.database;
    try {
        if (!Database::isPostgresUrl(target) && !QFileInfo::exists(target)) {
            // A shop moving in from the old program brings its teadata.mdb along.
            const QString legacy = QDir::current().filePath(QStringLiteral("teadata.mdb"));
            FirstRunDialog dialog(target, nullptr, QFileInfo(legacy).isFile() ? legacy : QString());
            if (dialog.exec() != QDialog::Accepted)
                return nullptr;
            if (dialog.imported())
                return Database::open(target);
            return Database::create(target, dialog.password());
        }
        std::unique_ptr<Database> db = openAskingServerPassword(target);
        upgrade::run(*db);
        return db;
    } catch (const DataError& e) {
        prompts().message(e.description(), Buttons::Ok, QStringLiteral("無法開啟資料檔"));
        return nullptr;
    }
}

} // namespace lumaro
