#include "admin/Arguments.h"
#include "admin/Commands.h"
#include "admin/Terminal.h"

#include "data/DataError.h"
#include "data/Database.h"

namespace lumaro::admin {

int init(const QStringList& args)
{
    QCommandLineParser parser;
    const QCommandLineOption sampleOption(QStringLiteral("sample"));
    parser.addOption(sampleOption);
    parser.addPositionalArgument(QStringLiteral("file"), QString());
    if (!parseCommand(parser, QStringLiteral("init"), args))
        return 2;
    const bool sample = parser.isSet(sampleOption);
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        err(QStringLiteral("init 只接受一個資料檔名稱。"));
        return 2;
    }
    const QString target = files.isEmpty() ? Database::defaultFile() : files.first();

    QString password;
    if (!readNewPassword(&password))
        return 1;
    try {
        Database::create(target, password, sample);
    } catch (const Failure& e) { // a refused shop, or no memory to hash the password
        err(e.description());
        return 1;
    }
    out(QStringLiteral("已建立商店資料檔：%1%2").arg(target, sample ? QStringLiteral("（含範例資料）") : QString()));
    return 0;
}

} // namespace lumaro::admin
