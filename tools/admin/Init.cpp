#include "admin/Commands.h"
#include "admin/Terminal.h"

#include "data/DataError.h"
#include "data/Database.h"

#include <QFileInfo>

namespace lumaro::admin {

int init(const QStringList& args)
{
    bool sample = false;
    QString target;
    for (const QString& a : args) {
        if (a == QLatin1String("--sample")) {
            sample = true;
        } else if (a.startsWith(QLatin1String("-"))) {
            err(QStringLiteral("init 不認得的選項：%1").arg(a));
            return 2;
        } else if (target.isEmpty()) {
            target = a;
        } else {
            err(QStringLiteral("init 只接受一個資料檔名稱。"));
            return 2;
        }
    }
    if (target.isEmpty())
        target = Database::defaultFile();

    QString password;
    if (!readNewPassword(&password))
        return 1;
    try {
        Database::create(target, password, sample);
    } catch (const DataError& e) {
        err(e.description());
        return 1;
    }
    const QString shown = Database::isPostgresUrl(target) ? target : QFileInfo(target).absoluteFilePath();
    out(QStringLiteral("已建立商店資料檔：%1%2").arg(shown, sample ? QStringLiteral("（含範例資料）") : QString()));
    return 0;
}

} // namespace lumaro::admin
