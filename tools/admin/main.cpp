#include "admin/Commands.h"
#include "admin/Terminal.h"

#include "platform/Failure.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <functional>
#include <map>

namespace {

void usage()
{
    lumaro::admin::err(
        QStringLiteral("用法：lumaro-admin 指令 [參數]\n"
                       "  init [--sample] [--cash 金額] [--bank 金額] [資料檔]\n"
                       "                              建立新的商店資料檔，--cash/--bank 是期初現金與銀行存款\n"
                       "                              （密碼從標準輸入讀取）\n"
                       "  passwd [資料檔]             更改系統密碼（新密碼從標準輸入讀取）\n"
                       "  user add 名字 [--role 老闆|店員] | list | passwd 名字 | retire 名字\n"
                       "       | role 名字 老闆|店員 [--database 資料檔]\n"
                       "                              新增（預設店員）、列出、重設密碼、停用人員或改變角色\n"
                       "                              （密碼從標準輸入讀取）\n"
                       "  import-mdb [--charset 編碼] 舊資料檔.mdb [新資料檔]\n"
                       "                              從舊程式的 teadata.mdb 建立新的資料檔\n"
                       "  backup [--database 資料檔] 備份檔\n"
                       "                              備份資料檔（程式使用中也可以）\n"
                       "  restore 備份檔 [--database 資料檔]\n"
                       "                              用備份取代資料檔（原來的檔案會改名保留）\n"
                       "  check [--database 資料檔]   檢查資料檔：0 正常，3 有問題，1 已損壞\n"
                       "  upgrade [--database 資料檔] 把資料檔升級到這個程式的資料版本（先在旁邊留一份備份）\n"
                       "  export catalogue|sales|journal [--from 日期] [--to 日期] [--customer 客戶]\n"
                       "                              [--database 資料檔] 檔案.csv\n"
                       "                              匯出茶葉資料、銷售明細或帳務日誌（UTF-8 CSV）\n"
                       "  --version                   顯示版本"));
}

} // namespace

int main(int argc, char* argv[])
{
    // A file size limit reached while writing the shop must come back as a
    // write error the program reports, not end the program mid-move.
    std::signal(SIGXFSZ, SIG_IGN);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(LUMARO_VERSION));

    // Options before the command are the program's own; everything after the
    // command's name belongs to the command.
    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOption(help);
    parser.addOption(version);
    parser.addPositionalArgument(QStringLiteral("command"), QString());
    if (!parser.parse(QCoreApplication::arguments())) {
        lumaro::admin::err(QStringLiteral("不認得的指令：%1").arg(QCoreApplication::arguments().value(1)));
        usage();
        return 2;
    }
    if (parser.isSet(version)) {
        lumaro::admin::out(QStringLiteral("lumaro-admin %1").arg(QCoreApplication::applicationVersion()));
        return 0;
    }
    const QStringList args = parser.positionalArguments();
    if (parser.isSet(help) || args.isEmpty()) {
        usage();
        return args.isEmpty() && !parser.isSet(help) ? 2 : 0;
    }
    const std::map<QString, std::function<int(const QStringList&)>> commands = {
        {QStringLiteral("init"), lumaro::admin::init},         {QStringLiteral("import-mdb"), lumaro::admin::importMdb},
        {QStringLiteral("backup"), lumaro::admin::backup},     {QStringLiteral("restore"), lumaro::admin::restore},
        {QStringLiteral("check"), lumaro::admin::check},       {QStringLiteral("passwd"), lumaro::admin::passwd},
        {QStringLiteral("export"), lumaro::admin::exportData}, {QStringLiteral("upgrade"), lumaro::admin::upgrade},
        {QStringLiteral("user"), lumaro::admin::user},
    };
    const auto it = commands.find(args[0]);
    if (it == commands.end()) {
        lumaro::admin::err(QStringLiteral("不認得的指令：%1").arg(args[0]));
        usage();
        return 2;
    }
    try {
        return it->second(args.mid(1));
    } catch (const lumaro::Failure& e) {
        lumaro::admin::err(e.description());
    } catch (const std::exception& e) {
        lumaro::admin::err(QStringLiteral("發生未預期的錯誤：%1").arg(QString::fromLocal8Bit(e.what())));
    }
    return 1;
}
