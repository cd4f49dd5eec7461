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
        "  upgrade [--database 資料檔] 把資料檔升級到這個程式的資料版本（先在旁邊留一份備份）"));
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
        {QStringLiteral("upgrade"), lumaro::admin::upgrade},
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
