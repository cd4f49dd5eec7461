#pragma once

#include "base/Money.h"
#include "books/Reports.h"
#include "platform/Form.h"

class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTextBrowser;

namespace lumaro {

class Database;
class TakingsChart;

// 日結: the takings of a chosen day from the journal, a chart of the 30 days
// up to it, and the cash count: the owner types the cash in the drawer, sees
// the difference from the books and may store it as a 調整 move.
class DayReport_frm : public Form {
    Q_OBJECT
public:
    explicit DayReport_frm(Database& db, QWidget* parent = nullptr);

    void reload();
    void txtCounted_Change();
    void cmdAdjust_Click();
    void cmdExport_Click();

    const reports::DayReport& report() const { return m_report; }
    static QString reportHtml(const reports::DayReport& d);

protected:
    void Form_Activate() override;

private:
    QDateEdit* dtDay = nullptr;
    QTextBrowser* txtReport = nullptr;
    TakingsChart* chartTakings = nullptr;
    QLabel* lblBookCash = nullptr;
    QLineEdit* txtCounted = nullptr;
    QLabel* lblDifference = nullptr;
    QLineEdit* txtReason = nullptr;
    QPushButton* cmdAdjust = nullptr;
    QPushButton* cmdExport = nullptr;

    Database& m_db;
    reports::DayReport m_report;
    Money m_bookCash;
};

} // namespace lumaro
