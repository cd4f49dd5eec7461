// user: the people behind the counter, managed from the command line as the
// 人員管理 screen does, for an owner who is not at the counter.
#include "admin/Arguments.h"
#include "admin/Commands.h"
#include "admin/Help.h"
#include "admin/Terminal.h"

#include "books/People.h"
#include "books/Shop.h"
#include "data/Database.h"
#include "platform/Failure.h"

#include <QMap>

namespace lumaro::admin {

namespace {

QString usageText()
{
    return QStringLiteral("用法：lumaro-admin user add 名字 [--role 老闆|店員] [--database 資料檔]\n"
                          "      lumaro-admin user list [--database 資料檔]\n"
                          "      lumaro-admin user passwd|retire 名字 [--database 資料檔]\n"
                          "      lumaro-admin user role 名字 老闆|店員 [--database 資料檔]\n"
                          "（新增人員預設為店員；密碼從標準輸入讀取）");
}

QString roleRefusal(const QString& given) { return QStringLiteral("看不懂的角色：%1（可以是老闆或店員）").arg(given); }

// Looked up by name, as the owner knows them; retired people too, so that
// what is refused for them says why.
people::Person named(Database& db, const QString& name)
{
    for (const people::Person& p : people::all(db))
        if (p.name == name.trimmed())
            return p;
    throw Failure(QStringLiteral("找不到名叫「%1」的人員。").arg(name.trimmed()));
}

void list(Database& db)
{
    out(QStringLiteral("編號\t姓名\t角色\t狀態"));
    for (const people::Person& p : people::all(db))
        out(QStringLiteral("%1\t%2\t%3\t%4")
                .arg(QString::number(p.id), p.name, people::roleName(p.role),
                     p.retired ? QStringLiteral("停用") : QStringLiteral("在職")));
}

} // namespace

int user(const QStringList& args)
{
    QCommandLineParser parser;
    const QCommandLineOption databaseOption(QStringLiteral("database"), QString(), QStringLiteral("file"));
    const QCommandLineOption roleOption(QStringLiteral("role"), QString(), QStringLiteral("role"));
    parser.addOptions({databaseOption, roleOption});
    parser.addPositionalArgument(QStringLiteral("arguments"), QString());
    if (const std::optional<int> stop = parseCommand(parser, QStringLiteral("user"), args))
        return *stop;
    const QStringList plain = parser.positionalArguments();
    const QString what = plain.value(0);
    // How many plain arguments each asks for, its own name included.
    const QMap<QString, qsizetype> shapes = {{QStringLiteral("list"), 1},
                                             {QStringLiteral("add"), 2},
                                             {QStringLiteral("passwd"), 2},
                                             {QStringLiteral("retire"), 2},
                                             {QStringLiteral("role"), 3}};
    const qsizetype wanted = shapes.value(what, 0);
    if (wanted == 0 || plain.size() != wanted) {
        err(usageText());
        return 2;
    }
    if (parser.isSet(roleOption) && what != QLatin1String("add")) {
        err(QStringLiteral("--role 只用在 user add。"));
        return 2;
    }
    const QString roleText = what == QLatin1String("role") ? plain[2] : parser.value(roleOption);
    const std::optional<people::Role> role =
        roleText.isEmpty() && what == QLatin1String("add") ? people::Role::Clerk : people::roleNamed(roleText);
    if (!role && (what == QLatin1String("add") || what == QLatin1String("role"))) {
        err(roleRefusal(roleText));
        return 2;
    }
    const QString name = plain.value(1).trimmed();

    return exitCodeOf([&] {
        // Open first, so a wrong file is reported before a password is asked.
        std::unique_ptr<Database> db = openShop(chosenShop(parser.value(databaseOption)));
        if (what == QLatin1String("list")) {
            list(*db);
            return 0;
        }
        if (what == QLatin1String("add")) {
            QString password;
            if (!readNewPassword(&password))
                return 1;
            const people::Person p = people::add(*db, name, *role, password);
            out(QStringLiteral("已新增%1「%2」（編號 %3）。").arg(people::roleName(p.role), p.name).arg(p.id));
            return 0;
        }
        const people::Person p = named(*db, name);
        if (what == QLatin1String("passwd")) {
            QString password;
            if (!readNewPassword(&password))
                return 1;
            people::setPassword(*db, p.id, password);
            out(p.holdsShopPassword ? QStringLiteral("已重設「%1」的密碼，也就是系統密碼。").arg(p.name)
                                    : QStringLiteral("已重設「%1」的密碼。").arg(p.name));
        } else if (what == QLatin1String("role")) {
            people::setRole(*db, p.id, *role);
            out(QStringLiteral("「%1」現在是%2。").arg(p.name, people::roleName(*role)));
        } else if (p.retired) {
            out(QStringLiteral("「%1」已經停用。").arg(p.name));
        } else {
            people::retire(*db, p.id);
            out(QStringLiteral("已停用「%1」。").arg(p.name));
        }
        return 0;
    });
}

} // namespace lumaro::admin
