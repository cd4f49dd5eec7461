#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

namespace bench {

// The database work an action really needs at the shop's size, done directly
// on a connection of its own with statements prepared once: the rows a screen
// shows, read by key a screenful at a time, the one order's lines, and one
// durable transaction per move, its journal rows included. An action's floor is this plus the same
// screen's time over a shop of one screenful, so what grows with the shop and
// should not shows in the ratio.
class Floor {
public:
    static constexpr int Screenful = 40;

    explicit Floor(const QString& target);
    ~Floor();

    void teas();       // the first screenful of teas
    void openOrders(); // a screenful of open orders, the first one's lines, a screenful of teas
    void account();
    void orderLines(qlonglong order);                                // one order's lines with prices
    void addLine(qlonglong order, const QString& tea, int quantity); // then the lines
    void checkout(qlonglong order);                   // stock down, cash up, order settled; then the open orders
    void purchase(const QString& tea, double kg);     // then that tea
    void transfer(double toBank);                     // then the balances
    void editPrice(const QString& tea, double price); // then that tea
    void everyTea();                                  // every tea with its unit, as a stock count lists them

private:
    void readAll(QSqlQuery& q);
    void journal(const QString& kind, const QVariant& order, const QVariant& tea, double kg, double cash, double bank);
    void begin();
    void commit();

    QString m_name;
    QSqlDatabase m_db;
    QSqlQuery m_teas, m_openOrders, m_account, m_lines, m_insertLine, m_takeStock, m_stockUp, m_cash, m_settle, m_bank,
        m_cost, m_oneTea, m_price, m_journal, m_journalLines, m_everyTea;
    QString m_move, m_time; // of the transaction begun last
};

} // namespace bench
