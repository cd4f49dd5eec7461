#include "admin/Commands.h"
#include "admin/Help.h"
#include "admin/Terminal.h"

#include "platform/Failure.h"
#include "upkeep/ShopLocation.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <csignal>
#include <functional>
#include <map>

namespace {

// Wrong arguments: the list of commands, on standard error.
void usage() { lumaro::admin::err(lumaro::admin::programHelp()); }

} // namespace

int main(int argc, char* argv[])
{
    // A file size limit reached while writing the shop must come back as a
    // write error the program reports, not end the program mid-move.
    std::signal(SIGXFSZ, SIG_IGN);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(LUMARO_VERSION));
    // lumaro's own name, so that the standard folder and the last shop opened
    // are the ones lumaro uses.
    QCoreApplication::setApplicationName(lumaro::location::applicationName());

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
    if (parser.isSet(help)) {
        lumaro::admin::out(lumaro::admin::programHelp());
        return 0;
    }
    if (args.isEmpty()) {
        usage();
        return 2;
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
