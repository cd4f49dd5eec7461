#include "support/Outside.h"

#include <QAtomicInt>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>

namespace lumaro::test {

QStringList texts(std::initializer_list<const char*> list)
{
    QStringList out;
    for (const char* t : list)
        out << QString::fromUtf8(t);
    return out;
}

Run run(const QString& program, const QStringList& args, const QByteArray& input, const QProcessEnvironment& env,
        const QString& cwd)
{
    QProcess p;
    p.setProcessEnvironment(env);
    if (!cwd.isEmpty())
        p.setWorkingDirectory(cwd);
    p.start(program, args);
    p.write(input);
    p.closeWriteChannel();
    Run r;
    if (p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit)
        r.code = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

Run admin(const QStringList& args, const QByteArray& input)
{
    return run(qEnvironmentVariable("LUMARO_ADMIN"), args, input);
}

ShopCopy readCopy(const QString& file)
{
    static QAtomicInt counter;
    const QString name = QStringLiteral("lumaro-test-copy-%1").arg(counter.fetchAndAddRelaxed(1));
    ShopCopy c;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(QStringLiteral("PRAGMA integrity_check")) && q.next())
                c.integrity = q.value(0).toString();
            if (q.exec(QStringLiteral("SELECT 現金, 銀行 FROM 帳款資料表")) && q.next()) {
                c.cash = q.value(0).toDouble();
                c.bank = q.value(1).toDouble();
            }
            if (q.exec(QStringLiteral("SELECT 編號, 庫存 FROM 茶葉資料表")))
                while (q.next())
                    c.stock[q.value(0).toString()] = q.value(1).toDouble();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return c;
}

} // namespace lumaro::test
