#include "upkeep/ShopLocation.h"

#include "data/Database.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>

namespace lumaro::location {

namespace {

const QString kLastShop = QStringLiteral("lastShop");

QSettings userSettings()
{
    // An explicit file, so that the owner finds it beside the program's data.
    return QSettings(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation) +
                         QStringLiteral("/lumaro.conf"),
                     QSettings::IniFormat);
}

} // namespace

Found findShop(const QString& workingFolder, const QString& remembered, const QString& standardFolder)
{
    const QDir here(workingFolder);
    const QString local = QDir::cleanPath(here.absoluteFilePath(Database::defaultFile()));
    if (QFileInfo(local).isFile())
        return {local, {}};
    const QString legacy = QDir::cleanPath(here.absoluteFilePath(QStringLiteral("teadata.mdb")));
    if (QFileInfo(legacy).isFile())
        return {local, legacy};
    if (!remembered.isEmpty() && (Database::isPostgresUrl(remembered) || QFileInfo(remembered).isFile()))
        return {remembered, {}};
    return {QDir::cleanPath(QDir(standardFolder).absoluteFilePath(Database::defaultFile())), {}};
}

QString standardFolder() { return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation); }

QString applicationName() { return QStringLiteral("lumaro"); }

Found findShopHere() { return findShop(QDir::currentPath(), rememberedShop(), standardFolder()); }

QString rememberedShop() { return userSettings().value(kLastShop).toString(); }

void rememberShop(const QString& target)
{
    QString kept = target;
    if (Database::isPostgresUrl(target)) {
        QUrl url(target);
        url.setPassword(QString());
        kept = url.toString();
    } else {
        // A daily backup opened to look something up is not where the shop lives.
        if (QFileInfo(target).absoluteDir().dirName() == QLatin1String("backups"))
            return;
        kept = QDir::cleanPath(QFileInfo(target).absoluteFilePath());
    }
    QSettings s = userSettings();
    s.setValue(kLastShop, kept);
}

} // namespace lumaro::location
