#include "admin/Commands.h"
#include "admin/Terminal.h"

#include <QCoreApplication>

#include <functional>
#include <csignal>
#include <map>

namespace {

void usage()
{
    lumaro::admin::err(QStringLiteral(
        "用法：lumaro-admin 指令 [參數]\n"
        "  init [--sample] [資料檔]    建立新的商店資料檔（密碼從標準輸入讀取）\n"
        "  passwd [資料檔]             更改系統密碼（新密碼從標準輸入讀取）\n"
        "  import-mdb [--charset 編碼] 舊資料檔.mdb [新資料檔]\n"
        "                              從舊程式的 teadata.mdb 建立新的資料檔\n"
        "  backup [--database 資料檔] 備份檔\n"
        "                              備份資料檔（程式使用中也可以）\n"
        "  check [--database 資料檔]   檢查資料檔：0 正常，3 有問題，1 已損壞\n"
        "  export catalogue|sales|journal [--from 日期] [--to 日期] [--database 資料檔] 檔案.csv\n"
        "                              匯出茶葉資料、銷售明細或帳務日誌（UTF-8 CSV）"));
}

} // namespace

int main(int argc, char* argv[])
{
    // A file size limit reached while writing the shop must come back as a
    // write error the program reports, not end the program mid-move.
    std::signal(SIGXFSZ, SIG_IGN);
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const std::map<QString, std::function<int(const QStringList&)>> commands = {
        {QStringLiteral("init"), lumaro::admin::init},
        {QStringLiteral("import-mdb"), lumaro::admin::importMdb},
        {QStringLiteral("backup"), lumaro::admin::backup},
        {QStringLiteral("check"), lumaro::admin::check},
        {QStringLiteral("passwd"), lumaro::admin::passwd},
        {QStringLiteral("export"), lumaro::admin::exportData},
    };
    if (args.size() < 2 || args[1] == QLatin1String("--help") || args[1] == QLatin1String("-h")) {
        usage();
        return args.size() < 2 ? 2 : 0;
    }
    const auto it = commands.find(args[1]);
    if (it == commands.end()) {
        lumaro::admin::err(QStringLiteral("不認得的指令：%1").arg(args[1]));
        usage();
        return 2;
    }
    return it->second(args.mid(2));
}
