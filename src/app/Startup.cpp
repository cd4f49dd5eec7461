#include "app/Startup.h"

#include "app/FirstRunDialog.h"
#include "data/DataError.h"
#include "data/Database.h"
#include "platform/Prompts.h"

#include <QDir>
#include <QFileInfo>

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
        return Database::open(target);
    } catch (const DataError& e) {
        prompts().message(e.description(), Buttons::Ok, QStringLiteral("無法開啟資料檔"));
        return nullptr;
    }
}

} // namespace lumaro
