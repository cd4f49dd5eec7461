#include "app/Startup.h"

#include "app/FirstRunDialog.h"
#include "books/Shop.h"
#include "books/Upgrade.h"
#include "data/DataError.h"
#include "data/Database.h"
#include "platform/Prompts.h"
#include "upkeep/ShopLocation.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QUrl>

namespace lumaro {

StartupOptions parseArguments(const QStringList& args)
{
    StartupOptions o;
    o.database = Database::defaultFile();
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption database(QStringList{QStringLiteral("d"), QStringLiteral("database")}, QString(),
                                      QStringLiteral("target"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOptions({database, help, version});
    if (!parser.parse(args.isEmpty() ? QStringList{QStringLiteral("lumaro")} : args)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty()) {
            const QString name = unknown.first();
            o.error = QStringLiteral("不認得的參數：%1")
                          .arg((name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name);
        } else {
            o.error = QStringLiteral("--database 後面要接資料檔的名稱或資料庫位址。");
        }
        return o;
    }
    if (!parser.positionalArguments().isEmpty()) {
        o.error = QStringLiteral("不認得的參數：%1").arg(parser.positionalArguments().first());
        return o;
    }
    o.locate = !parser.isSet(database);
    if (parser.isSet(database)) {
        o.database = parser.value(database);
        if (o.database.isEmpty())
            o.error = QStringLiteral("--database 後面要接資料檔的名稱或資料庫位址。");
    }
    o.help = parser.isSet(help);
    o.version = parser.isSet(version);
    return o;
}

void installWaitCursor()
{
    Database::setWaitNotifier([](bool waiting) {
        if (waiting)
            QApplication::setOverrideCursor(Qt::WaitCursor);
        else
            QApplication::restoreOverrideCursor();
    });
}

QFont shopFont()
{
    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("Noto Sans CJK TC"), font.family()});
    return font;
}

QString usageText()
{
    return QStringLiteral("用法：lumaro [--database 資料檔或 postgresql://使用者@主機/資料庫] [--version]\n"
                          "（lumaro --help 顯示完整說明）");
}

QString helpText()
{
    return QStringLiteral("用法：lumaro [--database 資料檔|postgresql://使用者@主機/資料庫]\n"
                          "      lumaro --help | --version\n"
                          "\n"
                          "在一個視窗裡經營小茶行：茶葉目錄與庫存、客戶訂單到結帳、現金與銀行帳款。\n"
                          "程式啟動時是鎖定的，請輸入商店的密碼；連錯三次程式就結束。\n"
                          "\n"
                          "選項：\n"
                          "  -d, --database 資料檔   開啟這個商店資料檔；檔案還不存在時，設定密碼後建立\n"
                          "  -d, --database postgresql://使用者@主機:連接埠/資料庫\n"
                          "                          開啟放在 PostgreSQL 伺服器上、幾台電腦共用的商店；伺服器的\n"
                          "                          密碼取自 PGPASSWORD、~/.pgpass 或另外詢問，不從命令列讀取\n"
                          "  -h, --help              顯示這段說明後結束\n"
                          "      --version           顯示版本後結束\n"
                          "\n"
                          "沒有 --database 時，依序找商店資料檔：\n"
                          "  1. 工作資料夾裡的 teadata.db；\n"
                          "  2. 工作資料夾裡舊程式的 teadata.mdb：新的資料檔建在它旁邊，並可匯入舊資料；\n"
                          "  3. 這位使用者上次開啟的商店，如果還在（記在 ~/.config/lumaro/lumaro.conf）；\n"
                          "  4. ~/.local/share/lumaro/teadata.db，從桌面選單啟動的商店放在這裡。\n"
                          "資料檔還不存在時，程式先顯示它的完整路徑，可以改選別的資料夾。\n"
                          "\n"
                          "環境變數：\n"
                          "  LUMARO_MDBREADER        讀取舊程式資料檔的程式（預設用隨程式安裝的 lumaro-mdbreader）\n"
                          "  PGPASSWORD              PostgreSQL 伺服器的密碼（也可以寫在 ~/.pgpass）\n"
                          "  XDG_DATA_HOME, XDG_CONFIG_HOME\n"
                          "                          標準資料夾與設定的位置（預設 ~/.local/share 與 ~/.config）\n"
                          "\n"
                          "另見：lumaro-admin --help、man lumaro、使用說明 /usr/share/doc/lumaro/guide.zh_TW.md");
}

namespace {

// A shared server may want a password that libpq could not find on its own.
// It is asked for here, never taken from the command line; three tries.
std::unique_ptr<Database> openAskingServerPassword(const QString& target)
{
    QString password;
    for (int tries = 0;; ++tries) {
        try {
            return openShop(target, password);
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

std::unique_ptr<Database> openShop(const StartupOptions& options, bool* created)
{
    if (created)
        *created = false;
    QString target = options.database;
    QString legacy;
    if (options.locate) {
        const location::Found found = location::findShopHere();
        target = found.target;
        legacy = found.legacyFile;
    } else if (!Database::isPostgresUrl(target)) {
        // Every message about the file names it in full.
        target = QDir::cleanPath(QFileInfo(target).absoluteFilePath());
        // A shop moving in from the old program brings its teadata.mdb along.
        const QString mdb = QDir::current().filePath(QStringLiteral("teadata.mdb"));
        if (QFileInfo(mdb).isFile())
            legacy = QDir::cleanPath(QFileInfo(mdb).absoluteFilePath());
    }
    try {
        if (!Database::isPostgresUrl(target) && !QFileInfo::exists(target)) {
            FirstRunDialog dialog(target, nullptr, legacy);
            if (dialog.exec() != QDialog::Accepted)
                return nullptr;
            if (dialog.imported() || dialog.existing())
                return openShop(dialog.file());
            auto db =
                createShop(dialog.file(), dialog.password(), [&dialog](Database& shop) { dialog.fillNewShop(shop); });
            if (created)
                *created = true;
            return db;
        }
        std::unique_ptr<Database> db = openAskingServerPassword(target);
        upgrade::run(*db);
        return db;
    } catch (const Failure& e) { // a refused shop, or no memory to hash the new password
        prompts().message(e.description(), Buttons::Ok, QStringLiteral("無法開啟資料檔"));
        return nullptr;
    }
}

} // namespace lumaro
