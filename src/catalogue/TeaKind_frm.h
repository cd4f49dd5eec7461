#pragma once

#include "books/People.h"
#include "platform/Form.h"

#include <array>
#include <memory>

class QComboBox;
class QLabel;
class QPushButton;

namespace lumaro {

class BoundTextBox;
class Database;
class DataControl;
class DataGrid;

// The tea catalogue: every tea in a grid, one tea at a time edited in four
// text boxes. datPrimaryRS holds the tea being edited; Adodc1 feeds the grid
// only. The two read the same rows but drift apart between re-reads, so the
// editor always finds the grid's tea by its number, never by its place.
class TeaKind_frm : public Form {
    Q_OBJECT
public:
    explicit TeaKind_frm(Database& db, QWidget* parent = nullptr);

    void cmdAdd_Click();
    void cmdUpdate_Click();
    void cmdDelete_Click();
    void cmdRefresh_Click();
    void grdDataGrid_RowColChange(int lastRow, int lastCol);
    void txtFields_GotFocus(int index);
    // The unit chosen for the tea being edited: asked, then changed as one
    // move (stock and prices converted), or refused with its reason.
    void cboUnit_Click();

protected:
    void Form_Resize() override;
    void Form_Unload() override;

private:
    DataControl* datPrimaryRS = nullptr;
    DataControl* Adodc1 = nullptr;

    std::array<QLabel*, 4> lblLabels{};
    std::array<BoundTextBox*, 4> txtFields{};
    QPushButton* cmdAdd = nullptr;
    QPushButton* cmdUpdate = nullptr;
    QPushButton* cmdDelete = nullptr;
    QPushButton* cmdRefresh = nullptr;
    DataGrid* grdDataGrid = nullptr;
    QWidget* picButtons = nullptr;
    QLabel* lblUnit = nullptr;
    QComboBox* cboUnit = nullptr;

    void buildControls();
    void open();
    // Re-reads the grid and puts its selection on the tea being edited.
    void rereadGrid();
    void showEditedTeaInGrid();
    // Whether the edit may be stored: asks a 老闆 when a 店員 renumbers or
    // reprices a tea, and holds the owner's approval in m_approval until the
    // handler that asked has stored it (a renumbered tea's stock is journaled).
    bool mayStoreEdit();
    std::unique_ptr<people::Approval> m_approval;
    // Shows the unit of the tea being edited.
    void showUnit();
};

} // namespace lumaro
