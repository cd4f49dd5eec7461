#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

#include <memory>

namespace bench {

// The least database work behind each user action: the same statements the
// action needs, prepared once on a connection of their own, rows read into
// memory, stores in one transaction. The screens' times are divided by these.
class Floor {
public:
    explicit Floor(const QString& target);
    ~Floor();

    static void startup(const QString& target); // open, read the password, check it
    void catalogue();                     // every tea, as the catalogue shows it
    void openOrders();                    // the open orders, the first one's lines, the tea list
    void account();
    void orderLines(qlonglong order);     // one order's lines with prices and their total
    void addLine(qlonglong order, const QString& tea, int quantity); // then the lines and their total
    void checkout(qlonglong order);       // stock down, cash up, order settled; then the open orders,
                                          // the first one's lines and the tea list, once
    void purchase(const QString& tea, double kg); // then the stock list once
    void transfer(double toBank);          // then the balances

private:
    int readAll(QSqlQuery& q);
    void begin();
    void commit();

    QString m_name;
    QSqlDatabase m_db;
    QSqlQuery m_catalogue, m_openOrders, m_teaList, m_account, m_lines, m_total, m_insertLine, m_stockDown,
        m_stockUp, m_cash, m_settle, m_bank, m_cost;
};

} // namespace bench
