#include "admin/Help.h"

#include "admin/Terminal.h"

#include "data/Database.h"
#include "upkeep/ShopLocation.h"

#include <QFileInfo>
#include <QMap>

namespace lumaro::admin {

namespace {

// How a command that was given no shop finds it.
const QString kFindingRest = QStringLiteral("和 lumaro 一樣依序找商店資料檔：工作資料夾裡的 teadata.db、\n"
                                            "這位使用者上次開啟的商店、~/.local/share/lumaro/teadata.db，\n"
                                            "並在標準錯誤輸出說明用的是哪一個（「使用資料檔「…」」）。");

const QString kFinding = QStringLiteral("沒有 --database 時，") + kFindingRest;

const QString kPassword = QStringLiteral("密碼從標準輸入讀取（在終端機上輸入兩次），不從命令列讀取。");

// One entry per command: how it is called, what it does, its options.
const QMap<QString, QString>& helps()
{
    static const QMap<QString, QString> texts = {
        {QStringLiteral("init"),
         QStringLiteral("用法：lumaro-admin init [--sample] [--cash 金額] [--bank 金額] [資料檔|postgresql://…]\n"
                        "\n"
                        "建立新的商店資料檔（沒寫資料檔時是工作資料夾裡的 teadata.db），\n"
                        "或在空的 PostgreSQL 資料庫裡建立商店。已經存在的資料檔不會被覆蓋。\n"
                        "\n"
                        "  --sample       加入十幾種範例茶葉和三張未結帳的訂單\n"
                        "  --cash 金額    期初現金（0 或以上，預設 0）\n"
                        "  --bank 金額    期初銀行存款（0 或以上，預設 0）\n"
                        "\n") +
             kPassword},
        {QStringLiteral("passwd"), QStringLiteral("用法：lumaro-admin passwd [資料檔]\n"
                                                  "\n"
                                                  "更改開啟系統的密碼（也是持有這個密碼的人員自己的密碼）；\n"
                                                  "其他人員已在使用的密碼不接受。\n"
                                                  "\n") +
                                       kPassword + QStringLiteral("\n沒寫資料檔時，") + kFindingRest},
        {QStringLiteral("user"),
         QStringLiteral("用法：lumaro-admin user add 名字 [--role 老闆|店員] [--database 資料檔]\n"
                        "      lumaro-admin user list [--database 資料檔]\n"
                        "      lumaro-admin user passwd|retire 名字 [--database 資料檔]\n"
                        "      lumaro-admin user role 名字 老闆|店員 [--database 資料檔]\n"
                        "\n"
                        "管理登入的人員，和「人員管理」畫面一樣：add 新增（預設店員），list 列出，\n"
                        "passwd 重設密碼，retire 停用，role 改變角色。最後一位在職的老闆不能停用或改成店員。\n"
                        "\n"
                        "  --role 角色        新增的人員是老闆或店員\n"
                        "  --database 資料檔  要管理的商店資料檔或 postgresql:// 位址\n"
                        "\n") +
             kPassword + QLatin1Char('\n') + kFinding},
        {QStringLiteral("import-mdb"),
         QStringLiteral("用法：lumaro-admin import-mdb [--charset 編碼] 舊資料檔.mdb [新資料檔.db]\n"
                        "\n"
                        "從舊程式的 teadata.mdb 建立新的商店資料檔（沒寫新資料檔時是工作資料夾裡的\n"
                        "teadata.db）。舊資料檔只讀不寫；已經存在的新資料檔不會被覆蓋。\n"
                        "\n"
                        "  --charset 編碼   舊的 Jet 3 資料檔所用的編碼，例如 BIG5")},
        {QStringLiteral("backup"),
         QStringLiteral("用法：lumaro-admin backup [--database 資料檔] 備份檔\n"
                        "\n"
                        "把商店資料檔完整備份到備份檔，程式使用中也可以；已經存在的檔案不會被覆蓋。\n"
                        "PostgreSQL 上的商店請用 pg_dump 備份。\n"
                        "\n"
                        "  --database 資料檔  要備份的商店資料檔\n"
                        "\n") +
             kFinding},
        {QStringLiteral("restore"),
         QStringLiteral("用法：lumaro-admin restore 備份檔 [--database 資料檔]\n"
                        "\n"
                        "先像 check 一樣檢查備份，再用它取代商店資料檔；原來的資料檔改名保留為\n"
                        "「資料檔.before-restore-日期-時間」。有程式開著資料檔時不能還原。\n"
                        "\n"
                        "  --database 資料檔  要還原的商店資料檔\n"
                        "\n") +
             kFinding},
        {QStringLiteral("check"),
         QStringLiteral("用法：lumaro-admin check [--database 資料檔]\n"
                        "\n"
                        "檢查商店資料檔，只讀不寫：完整性、對不到訂單或茶葉的明細、負數庫存、\n"
                        "與帳務日誌不符的餘額，以及程式會拒絕開啟或解鎖的原因。\n"
                        "結束代碼：0 正常，3 資料檔完整但有列出的問題，1 已損壞或比程式新。\n"
                        "\n"
                        "  --database 資料檔  要檢查的商店資料檔或 postgresql:// 位址\n"
                        "\n") +
             kFinding},
        {QStringLiteral("upgrade"), QStringLiteral("用法：lumaro-admin upgrade [--database 資料檔]\n"
                                                   "\n"
                                                   "把商店資料檔升級到這個程式的資料版本，先在旁邊留一份備份。\n"
                                                   "\n"
                                                   "  --database 資料檔  要升級的商店資料檔或 postgresql:// 位址\n"
                                                   "\n") +
                                        kFinding},
        {QStringLiteral("export"),
         QStringLiteral("用法：lumaro-admin export catalogue|sales|journal [--from 日期] [--to 日期]\n"
                        "                          [--customer 客戶] [--database 資料檔] 檔案.csv\n"
                        "\n"
                        "把茶葉資料（catalogue）、銷售明細（sales）或帳務日誌（journal）匯出成 UTF-8 CSV 檔。\n"
                        "\n"
                        "  --from 日期        從這天起（寫成 2024-01-31，含當天），只用在 sales 和 journal\n"
                        "  --to 日期          到這天為止（含當天），只用在 sales 和 journal\n"
                        "  --customer 客戶    只要客戶名稱含有這段文字的訂單，只用在 sales\n"
                        "  --database 資料檔  要匯出的商店資料檔或 postgresql:// 位址\n"
                        "\n") +
             kFinding},
    };
    return texts;
}

} // namespace

QString programHelp()
{
    return QStringLiteral("用法：lumaro-admin 指令 [參數]\n"
                          "      lumaro-admin 指令 --help     顯示指令的說明\n"
                          "      lumaro-admin --help | --version\n"
                          "\n"
                          "指令：\n"
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
                          "\n"
                          "init 和 import-mdb 沒寫資料檔時，在工作資料夾建立 teadata.db。\n") +
           kFinding + QStringLiteral("\n結束代碼：0 完成，1 失敗（資料沒有改變），2 參數錯誤。");
}

QString commandHelp(const QString& command) { return helps().value(command); }

QString chosenShop(const QString& named)
{
    if (!named.isEmpty())
        return named;
    const QString found = location::findShopHere().target;
    err(QStringLiteral("使用資料檔「%1」").arg(found));
    if (!Database::isPostgresUrl(found) && !QFileInfo::exists(found))
        err(QStringLiteral("（工作資料夾裡沒有 teadata.db，也沒有上次開啟的商店；可以用 --database 指定資料檔）"));
    return found;
}

} // namespace lumaro::admin
