// export: the catalogue, the sales or the journal as a CSV file for a spreadsheet.
#include "admin/Arguments.h"
#include "admin/Commands.h"
#include "admin/Help.h"
#include "admin/Terminal.h"

#include "base/Csv.h"
#include "books/Reports.h"
#include "books/Shop.h"
#include "data/Database.h"

#include <QDate>

namespace lumaro::admin {

namespace {

QString usageText()
{
    return QStringLiteral("用法：lumaro-admin export catalogue|sales|journal [--from 日期] [--to 日期] "
                          "[--customer 客戶] [--database 資料檔] 檔案.csv\n"
                          "（日期寫成 2024-01-31，含當天；--customer 只用在 sales，客戶名稱含有這段文字的訂單）");
}

} // namespace

int exportData(const QStringList& args)
{
    QCommandLineParser parser;
    const QCommandLineOption databaseOption(QStringLiteral("database"), QString(), QStringLiteral("file"));
    const QCommandLineOption fromOption(QStringLiteral("from"), QString(), QStringLiteral("date"));
    const QCommandLineOption toOption(QStringLiteral("to"), QString(), QStringLiteral("date"));
    const QCommandLineOption customerOption(QStringLiteral("customer"), QString(), QStringLiteral("text"));
    parser.addOptions({databaseOption, fromOption, toOption, customerOption});
    parser.addPositionalArgument(QStringLiteral("arguments"), QString());
    if (const std::optional<int> stop = parseCommand(parser, QStringLiteral("export"), args))
        return *stop;
    const QString from = parser.value(fromOption);
    const QString to = parser.value(toOption);
    const QStringList plain = parser.positionalArguments();
    if (plain.size() != 2) {
        err(usageText());
        return 2;
    }
    const QString what = plain[0];
    if (what != QLatin1String("catalogue") && what != QLatin1String("sales") && what != QLatin1String("journal")) {
        err(QStringLiteral("export 不認得的資料：%1（可以是 catalogue、sales 或 journal）").arg(what));
        return 2;
    }
    QDate fromDate, toDate;
    for (auto [text, date] : {std::pair{from, &fromDate}, std::pair{to, &toDate}}) {
        if (text.isEmpty())
            continue;
        *date = QDate::fromString(text, Qt::ISODate);
        if (!date->isValid()) {
            err(QStringLiteral("看不懂的日期：%1（請寫成 2024-01-31）").arg(text));
            return 2;
        }
    }
    const QString customer = parser.value(customerOption).trimmed();
    if (what != QLatin1String("sales") && parser.isSet(customerOption)) {
        err(QStringLiteral("--customer 只用在 sales。"));
        return 2;
    }
    if (what == QLatin1String("catalogue") && (fromDate.isValid() || toDate.isValid())) {
        err(QStringLiteral("茶葉資料沒有日期，--from 和 --to 只用在 sales 和 journal。"));
        return 2;
    }
    if (fromDate.isValid() && toDate.isValid() && fromDate > toDate) {
        err(QStringLiteral("--from 的日期 %1 在 --to 的日期 %2 之後，這段期間一天也沒有；請把較早的日期寫在 --from。")
                .arg(from, to));
        return 2;
    }

    return exitCodeOf([&] {
        auto db = openShop(chosenShop(parser.value(databaseOption)));
        CsvFile csv(plain[1]);
        qint64 rows = 0;
        if (what == QLatin1String("catalogue"))
            rows = reports::exportCatalogue(*db, csv);
        else if (what == QLatin1String("sales"))
            rows = reports::exportSales(*db, csv, reports::SalesFilter{fromDate, toDate, customer, {}});
        else
            rows = reports::exportJournal(*db, csv, fromDate, toDate);
        csv.commit();
        out(QStringLiteral("已匯出 %1 筆資料到「%2」。").arg(rows).arg(plain[1]));
        return 0;
    });
}

} // namespace lumaro::admin
