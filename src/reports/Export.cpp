#include "reports/Export.h"

#include "base/Csv.h"
#include "forms/OwnerApproval.h"
#include "platform/Prompts.h"

#include <QDir>

namespace lumaro {

QString exportCsv(Database& db, const QString& title, const QString& fileName,
                  const std::function<qint64(CsvFile&)>& write)
{
    if (!ownerAllows(db, people::Right::Export))
        return {};
    const QString path = prompts().saveFile(title, QDir::home().filePath(fileName), QStringLiteral("CSV 檔 (*.csv)"));
    if (path.isEmpty())
        return {};
    CsvFile csv(path);
    const qint64 rows = write(csv);
    csv.commit();
    prompts().message(QStringLiteral("已匯出 %1 筆資料到「%2」。").arg(rows).arg(path), Buttons::Ok, title);
    return path;
}

} // namespace lumaro
