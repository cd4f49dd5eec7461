#include "admin/Arguments.h"
#include "admin/Commands.h"
#include "admin/Terminal.h"

#include "books/Opening.h"
#include "books/SampleShop.h"
#include "books/Shop.h"
#include "data/Database.h"

#include <tuple>

#include <QFileInfo>

namespace lumaro::admin {

int init(const QStringList& args)
{
    QCommandLineParser parser;
    const QCommandLineOption sampleOption(QStringLiteral("sample"));
    const QCommandLineOption cashOption(QStringLiteral("cash"), QString(), QStringLiteral("amount"));
    const QCommandLineOption bankOption(QStringLiteral("bank"), QString(), QStringLiteral("amount"));
    parser.addOptions({sampleOption, cashOption, bankOption});
    parser.addPositionalArgument(QStringLiteral("file"), QString());
    if (const std::optional<int> stop = parseCommand(parser, QStringLiteral("init"), args))
        return *stop;
    const bool sample = parser.isSet(sampleOption);
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        err(QStringLiteral("init 只接受一個資料檔名稱。"));
        return 2;
    }
    const QString target = files.isEmpty() ? Database::defaultFile() : files.first();
    // The opening balances: checked before the password is asked for.
    OpeningBalances opening;
    for (const auto& [option, amount, name] : {std::tuple{&cashOption, &opening.cash, QStringLiteral("--cash")},
                                               std::tuple{&bankOption, &opening.bank, QStringLiteral("--bank")}}) {
        if (!parser.isSet(*option))
            continue;
        QString why;
        const std::optional<Money> read = readOpeningAmount(parser.value(*option), &why);
        if (!read) {
            err(QStringLiteral("init 的 %1：%2").arg(name, why));
            return 2;
        }
        *amount = *read;
    }

    QString password;
    if (!readNewPassword(&password))
        return 1;
    // A refused shop, or no memory to hash the password, is a Failure.
    return exitCodeOf([&] {
        createShop(target, password, [&](Database& db) {
            if (sample)
                fillSampleShop(db);
            setOpeningBalances(db, opening);
        });
        const QString shown = Database::isPostgresUrl(target) ? target : QFileInfo(target).absoluteFilePath();
        out(QStringLiteral("已建立商店資料檔：%1%2").arg(shown, sample ? QStringLiteral("（含範例資料）") : QString()));
        return 0;
    });
}

} // namespace lumaro::admin
