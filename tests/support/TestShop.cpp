#include "support/TestShop.h"

#include "data/DataError.h"

#include <QSqlQuery>
#include <QSqlRecord>
#include <QtTest>

namespace lumaro::test {

TestShop::TestShop(const QString& password)
{
    if (!m_dir.isValid())
        qFatal("no temporary folder");
    m_path = m_dir.filePath(QStringLiteral("teadata.db"));
    m_db = Database::create(m_path, password);
}

TestShop::~TestShop() = default;

TestShop& TestShop::tea(const QString& number, const QString& name, const QVariant& cost, const QVariant& price,
                        const QVariant& stock)
{
    exec(QStringLiteral("INSERT INTO 茶葉資料表 (編號, 名稱, 進價, 訂價, 庫存) VALUES (?, ?, ?, ?, ?)"),
         {number, name, cost, price, stock});
    return *this;
}

qlonglong TestShop::order(const QString& customer, const QString& contact, int status)
{
    return scalar(QStringLiteral("INSERT INTO 訂單資料表 (客戶名稱, 連絡方式, 訂單狀態) VALUES (?, ?, ?) RETURNING 訂單編號"),
                  {customer, contact, status})
        .toLongLong();
}

qlonglong TestShop::line(qlonglong order, const QString& tea, int quantity)
{
    return scalar(QStringLiteral("INSERT INTO 訂單明細表 (訂單編號, 茶葉編號, 數量) VALUES (?, ?, ?) RETURNING 明細編號"),
                  {order, tea, quantity})
        .toLongLong();
}

TestShop& TestShop::balances(const QVariant& cash, const QVariant& bank)
{
    exec(QStringLiteral("UPDATE 帳款資料表 SET 現金 = ?, 銀行 = ?"), {cash, bank});
    return *this;
}

TestShop& TestShop::password(const QVariant& value)
{
    exec(QStringLiteral("UPDATE 密碼表 SET 密碼 = ?"), {value});
    return *this;
}

QVariant TestShop::scalar(const QString& sql, const QVariantList& params) { return m_db->scalar(sql, params); }

QList<QVariantList> TestShop::rows(const QString& sql, const QVariantList& params)
{
    QSqlQuery q = m_db->exec(sql, params);
    QList<QVariantList> out;
    while (q.next()) {
        QVariantList r;
        for (int i = 0; i < q.record().count(); ++i)
            r << q.value(i);
        out << r;
    }
    q.finish();
    return out;
}

void TestShop::exec(const QString& sql, const QVariantList& params) { m_db->exec(sql, params).finish(); }

double TestShop::cash() { return scalar(QStringLiteral("SELECT 現金 FROM 帳款資料表")).toDouble(); }
double TestShop::bank() { return scalar(QStringLiteral("SELECT 銀行 FROM 帳款資料表")).toDouble(); }
double TestShop::stock(const QString& tea)
{
    return scalar(QStringLiteral("SELECT 庫存 FROM 茶葉資料表 WHERE 編號 = ?"), {tea}).toDouble();
}

PromptScope::PromptScope() { setPrompts(&m_prompts); }
PromptScope::~PromptScope() { setPrompts(nullptr); }

} // namespace lumaro::test
