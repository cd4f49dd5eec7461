#pragma once

#include "books/StockCount.h"
#include "platform/Form.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace lumaro {

class Database;
class StockCountModel;

// 盤點庫存: every tea with its book stock in its unit. The owner types what
// was counted, for some teas or all; each row shows the difference in the
// tea's unit and at 進價, with a reason (盤盈/盤虧 unless another is chosen).
// 過帳 posts the count, after a question, as one move; a tea whose book stock
// moved since it was shown refuses the whole count, and is shown again with
// its new figure, the typed counts kept. Read afresh, counts kept, whenever
// the screen becomes active.
class StockCount_frm : public Form {
    Q_OBJECT
public:
    explicit StockCount_frm(Database& db, QWidget* parent = nullptr);

    // Columns of grdCount.
    enum Column { Tea, Name, Unit, Book, Counted, Difference, Cost, Reason, Columns };

    void reload();
    void cmdPost_Click();
    void cmdRefresh_Click();
    void cmdWriteOff_Click();
    void grdCount_Change(int row, int column);

protected:
    void Form_Activate() override;

private:
    void showSummary();

    QLineEdit* txtNote = nullptr;
    QPushButton* cmdPost = nullptr;
    QPushButton* cmdRefresh = nullptr;
    QPushButton* cmdWriteOff = nullptr;
    QTableView* grdCount = nullptr;
    QLabel* lblSummary = nullptr;

    Database& m_db;
    StockCountModel* m_model = nullptr;
    bool m_justRead = false; // read by the constructor, not yet activated
};

} // namespace lumaro
