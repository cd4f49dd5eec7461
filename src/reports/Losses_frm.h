#pragma once

#include "platform/Form.h"

class QDateEdit;
class QLabel;
class QPushButton;
class QTableWidget;

namespace lumaro {

class Database;

// 損耗報表: what tasting, damp, repacking and counts took out of stock, per
// month, tea and reason, in kilograms (a tea kept in a count unit such as 盒
// in its own unit) and at 進價, for a range of months. Read afresh whenever
// the screen becomes active; 匯出 CSV… writes what it shows.
class Losses_frm : public Form {
    Q_OBJECT
public:
    explicit Losses_frm(Database& db, QWidget* parent = nullptr);

    void reload();
    void cmdExport_Click();

protected:
    void Form_Activate() override;

private:
    QDateEdit* dtFrom = nullptr;
    QDateEdit* dtTo = nullptr;
    QPushButton* cmdExport = nullptr;
    QTableWidget* grdLosses = nullptr;
    QLabel* lblTotal = nullptr;

    Database& m_db;
};

} // namespace lumaro
