#include "catalogue/TeaKind_frm.h"

#include "base/DisplayText.h"
#include "books/Find.h"
#include "books/MoneyMoves.h"
#include "books/TeaUnits.h"
#include "catalogue/RecordEditor.h"
#include "data/DataControl.h"
#include "data/DataError.h"
#include "data/Schema.h"
#include "forms/BoundTextBox.h"
#include "forms/DataGrid.h"
#include "forms/OwnerApproval.h"
#include "platform/Controls.h"
#include "platform/Geometry.h"
#include "platform/Handler.h"
#include "platform/Prompts.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScopeGuard>

namespace lumaro {

namespace {

// The screen as it was drawn, in twips: a client area of 7080 by 5295.
constexpr double kStoredWidth = 7080;
constexpr double kStoredHeight = 5295;
// Row i holds label i, text box i and one button, at one top.
constexpr double kRowTops[4] = {120, 480, 840, 1200};
constexpr TwipsRect kLabel{360, 0, 405, 180};
constexpr TwipsRect kTextBox{840, 0, 3375, 285};
constexpr TwipsRect kButton{4680, 0, 1095, 300};
// The empty bar along the bottom edge, and the grid between the rows and it,
// leaving room for the hidden primary control's bar and 30 twips more.
constexpr double kBarHeight = 300;
constexpr double kGridGap = 30;
constexpr TwipsRect kGrid{0, 1680, kStoredWidth, kStoredHeight - 1680 - kDataControlHeight - kGridGap - kBarHeight};
constexpr TwipsRect kBar{0, kStoredHeight - kBarHeight, kStoredWidth, kBarHeight};
// The grid's columns; names are the longest.
constexpr double kColumnWidth = 1100;
constexpr double kNameColumnWidth = 1800;
// The unit of the tea, right of the buttons beside the four boxes.
constexpr TwipsRect kUnitLabel{5940, 120, 540, 180};
constexpr TwipsRect kUnitBox{5940, 480, 1020, 300};
constexpr int kTeaColumn = 0;
constexpr int kStockColumn = 4;

TwipsRect inRow(TwipsRect r, int row)
{
    r.top = kRowTops[row];
    return r;
}

// A label keeps its stored place, but grows to show its whole caption in the
// font it is drawn with, never reaching into the text box beside it.
void placeLabel(QLabel* label, int row)
{
    placeTwips(label, inRow(kLabel, row));
    const QSize hint = label->sizeHint();
    const int maxWidth = twips(kTextBox.left - kLabel.left) - 1;
    label->resize(qMin(qMax(label->width(), hint.width()), maxWidth), qMax(label->height(), hint.height()));
}

// Whether a box still holds what is stored: 120 typed over 120 is no change.
bool unchanged(const QVariant& typed, const QVariant& stored)
{
    bool typedIsNumber = false, storedIsNumber = false;
    const double t = typed.toDouble(&typedIsNumber);
    const double s = stored.toDouble(&storedIsNumber);
    if (typedIsNumber && storedIsNumber)
        return t == s;
    return typed.toString().trimmed() == stored.toString().trimmed();
}

} // namespace

TeaKind_frm::TeaKind_frm(Database& db, QWidget* parent) : Form(QStringLiteral("茶葉資料表"), parent)
{
    setObjectName(QStringLiteral("TeaKind_frm"));

    datPrimaryRS = new DataControl(db, this);
    datPrimaryRS->setObjectName(QStringLiteral("datPrimaryRS"));
    datPrimaryRS->setRecordSource(schema::sources::TeaCatalogue);
    Adodc1 = new DataControl(db, this);
    Adodc1->setObjectName(QStringLiteral("Adodc1"));
    Adodc1->setRecordSource(schema::sources::TeaCatalogue);
    RecordEditor::reportDataErrors(datPrimaryRS);

    buildControls();
    resize(twips(kStoredWidth), twips(kStoredHeight));
    open();
}

void TeaKind_frm::buildControls()
{
    static const QString captions[4] = {QStringLiteral("編號:"), QStringLiteral("名稱:"), QStringLiteral("進價:"),
                                        QStringLiteral("訂價:")};
    static const QString columns[4] = {schema::tea::Number, schema::tea::Name, schema::tea::Cost, schema::tea::Price};
    for (int i = 0; i < 4; ++i) {
        auto* label = new QLabel(captions[i], this);
        label->setObjectName(QStringLiteral("lblLabels_%1").arg(i));
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        // Number and purchase price in light red, name and sale price in light blue.
        setBackground(label, i % 2 == 0 ? lightRed() : lightBlue());
        placeLabel(label, i);
        lblLabels[i] = label;

        auto* box = new BoundTextBox(this);
        box->setObjectName(QStringLiteral("txtFields_%1").arg(i));
        placeTwips(box, inRow(kTextBox, i));
        box->bind(datPrimaryRS, columns[i]);
        connect(box, &BoundTextBox::gotFocus, this, handler([this, i] { txtFields_GotFocus(i); }));
        txtFields[i] = box;
    }

    auto makeButton = [this](const char* name, const QString& caption, int row) {
        QPushButton* b = controls::button(this, name, caption, inRow(kButton, row));
        b->setAutoDefault(false);
        return b;
    };
    cmdAdd = makeButton("cmdAdd", QStringLiteral("新增"), 0);
    cmdUpdate = makeButton("cmdUpdate", QStringLiteral("更新"), 1);
    cmdDelete = makeButton("cmdDelete", QStringLiteral("刪除"), 2);
    cmdRefresh = makeButton("cmdRefresh", QStringLiteral("重新整理"), 3);
    connect(cmdAdd, &QPushButton::clicked, this, handler([this] { cmdAdd_Click(); }));
    connect(cmdUpdate, &QPushButton::clicked, this, handler([this] { cmdUpdate_Click(); }));
    connect(cmdDelete, &QPushButton::clicked, this, handler([this] { cmdDelete_Click(); }));
    connect(cmdRefresh, &QPushButton::clicked, this, handler([this] { cmdRefresh_Click(); }));

    grdDataGrid = new DataGrid(this);
    grdDataGrid->setObjectName(QStringLiteral("grdDataGrid"));
    placeTwips(grdDataGrid, kGrid);
    grdDataGrid->setDataControl(Adodc1);
    grdDataGrid->setFind(
        0,
        [&db = datPrimaryRS->database()](const QString& text, const QVariant& after) {
            return find::nextTea(db, text, after);
        },
        find::teaHint());
    grdDataGrid->horizontalHeader()->setDefaultSectionSize(twips(kColumnWidth));
    connect(grdDataGrid, &DataGrid::rowColChange, this,
            [this](int lastRow, int lastCol) { runHandler([&] { grdDataGrid_RowColChange(lastRow, lastCol); }); });

    grdDataGrid->setUnitCells(kTeaColumn, {kStockColumn});

    lblUnit = new QLabel(QStringLiteral("單位:"), this);
    lblUnit->setObjectName(QStringLiteral("lblUnit"));
    placeTwips(lblUnit, kUnitLabel);
    lblUnit->resize(qMax(lblUnit->width(), lblUnit->sizeHint().width()), lblUnit->height());
    cboUnit = new QComboBox(this);
    cboUnit->setObjectName(QStringLiteral("cboUnit"));
    for (const units::Unit& u : units::all())
        cboUnit->addItem(u.name);
    placeTwips(cboUnit, kUnitBox);
    // Tab keeps going round the four boxes, the grid and the buttons only, as
    // the screen always has: the unit is changed seldom, by a click.
    cboUnit->setFocusPolicy(Qt::ClickFocus);
    // Only the user's choice asks; following the tea being edited does not.
    connect(cboUnit, &QComboBox::activated, this, handler([this] { cboUnit_Click(); }));
    connect(datPrimaryRS, &DataControl::currentChanged, this, handler([this] { showUnit(); }));

    // The empty bar along the bottom edge; the resize rule keeps it there.
    picButtons = new QWidget(this);
    picButtons->setObjectName(QStringLiteral("picButtons"));
    setBackground(picButtons, lightYellow());
    placeTwips(picButtons, kBar);

    // Down the text boxes, into the grid, then the buttons from the bottom up.
    QWidget* order[] = {txtFields[0], txtFields[1], txtFields[2], txtFields[3], grdDataGrid,
                        cmdRefresh,   cmdDelete,    cmdUpdate,    cmdAdd};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
}

void TeaKind_frm::open()
{
    RecordEditor::open(*datPrimaryRS);
    // Both controls hold the same query: the grid takes the rows the editor has
    // just read. Its own failure to open is told plainly.
    runHandler([this] {
        if (datPrimaryRS->isOpen())
            Adodc1->copyRowsFrom(*datPrimaryRS);
        else
            Adodc1->refresh();
    });
    grdDataGrid->setColumnWidth(1, twips(kNameColumnWidth));
    runHandler([this] { showUnit(); });
}

void TeaKind_frm::showUnit()
{
    const QVariant tea = datPrimaryRS->hasCurrent() ? datPrimaryRS->storedField(0) : QVariant();
    const units::Unit& unit =
        tea.isNull() ? units::kilogram() : teaUnits::unitOf(datPrimaryRS->database(), tea.toString());
    cboUnit->setCurrentText(unit.name);
}

void TeaKind_frm::cboUnit_Click()
{
    const QString chosen = cboUnit->currentText();
    const QVariant tea = datPrimaryRS->hasCurrent() ? datPrimaryRS->storedField(0) : QVariant();
    // Whatever happens below, the box ends showing the unit the tea is in.
    struct Shown {
        TeaKind_frm* f;
        ~Shown()
        {
            runHandler([this] { f->showUnit(); });
        }
    } shown{this};
    const QString title = QStringLiteral("換算單位");
    if (tea.isNull() || datPrimaryRS->hasPending()) {
        prompts().message(QStringLiteral("請先按「更新」存下這種茶葉，再換單位。"), Buttons::Ok, title);
        return;
    }
    Database& db = datPrimaryRS->database();
    const units::Unit& from = teaUnits::unitOf(db, tea.toString());
    if (from.name == chosen)
        return;
    const QString question = QStringLiteral("要把「%1」的單位由%2換成%3嗎？\r庫存、進價和訂價會一起換算。")
                                 .arg(displayText(datPrimaryRS->field(1)), from.name, chosen);
    if (prompts().message(question, Buttons::YesNo, title) != Answer::Yes)
        return;
    try {
        if (!withRight(db, people::Right::EditPrices, [&] { teaUnits::changeUnit(db, tea.toString(), chosen); }))
            return;
    } catch (const MoveRefused& refused) {
        prompts().message(refused.description(), Buttons::Ok, title);
        return;
    }
    // The tea's converted prices, and its stock in the grid.
    datPrimaryRS->refreshRows({tea});
    rereadGrid();
}

bool TeaKind_frm::mayStoreEdit()
{
    // Only the tea being edited can hold a change: leaving it stores it.
    if (!datPrimaryRS->hasCurrent() || !datPrimaryRS->hasPending())
        return true;
    // A new tea, and a new name for one, are anyone's to store; a new number
    // or price of a stored tea needs a 老闆.
    if (datPrimaryRS->storedField(0).isNull())
        return true;
    const auto changed = [this](int i) { return !unchanged(datPrimaryRS->field(i), datPrimaryRS->storedField(i)); };
    QList<people::Right> needed;
    if (changed(0))
        needed << people::Right::DeleteTea;
    if (changed(2) || changed(3))
        needed << people::Right::EditPrices;
    // One owner's password allows the whole change: asked once.
    for (people::Right right : needed)
        if (!people::allowed(right))
            return ownerAllows(datPrimaryRS->database(), right, &m_approval);
    return true;
}

void TeaKind_frm::cmdAdd_Click()
{
    if (!mayStoreEdit())
        return;
    const auto endApproval = qScopeGuard([this] { m_approval.reset(); });
    RecordEditor::guard([this] {
        RecordEditor::add(*datPrimaryRS);
        // A new tea starts with its number.
        txtFields[0]->setFocus(Qt::OtherFocusReason);
    });
}

void TeaKind_frm::cmdUpdate_Click()
{
    // The grid is re-read only once the save has gone through, so it shows what
    // the table now holds; a refused save leaves it as it was.
    // A change the owner did not allow stays in the boxes, unstored.
    if (!mayStoreEdit())
        return;
    const auto endApproval = qScopeGuard([this] { m_approval.reset(); });
    RecordEditor::guard([this] {
        RecordEditor::save(*datPrimaryRS);
        rereadGrid();
    });
}

void TeaKind_frm::cmdDelete_Click()
{
    if (datPrimaryRS->hasCurrent() && !datPrimaryRS->storedField(0).isNull() &&
        !ownerAllows(datPrimaryRS->database(), people::Right::DeleteTea, &m_approval))
        return;
    const auto endApproval = qScopeGuard([this] { m_approval.reset(); });
    RecordEditor::guard([this] {
        const int before = datPrimaryRS->rowCount();
        try {
            RecordEditor::remove(*datPrimaryRS);
        } catch (const DataError&) {
            // Deleting the only tea fails at the move after the delete: the
            // tea is gone all the same, and the grid must stop listing it.
            if (datPrimaryRS->rowCount() < before)
                rereadGrid();
            throw;
        }
        rereadGrid();
    });
}

void TeaKind_frm::cmdRefresh_Click()
{
    if (!mayStoreEdit())
        return;
    const auto endApproval = qScopeGuard([this] { m_approval.reset(); });
    RecordEditor::guard([this] {
        RecordEditor::refresh(*datPrimaryRS);
        Adodc1->copyRowsFrom(*datPrimaryRS); // the same query, read a moment ago
    });
}

void TeaKind_frm::rereadGrid()
{
    // The rows the grid holds, read again: what the table now holds there,
    // another terminal's changes included, at a cost of the rows on show and
    // not of the whole catalogue.
    Adodc1->reread();
    showEditedTeaInGrid();
}

void TeaKind_frm::showEditedTeaInGrid()
{
    if (!datPrimaryRS->hasCurrent())
        return;
    const QVariant tea = datPrimaryRS->storedField(0);
    if (!tea.isNull())
        Adodc1->moveToValue(0, tea);
}

void TeaKind_frm::grdDataGrid_RowColChange(int, int)
{
    // The grid's place of a row says nothing about the editor's rows once either
    // has changed or the grid is scrolled; the tea's number does.
    if (!Adodc1->hasCurrent())
        return;
    // A tea whose number is being changed in the text boxes is still found by
    // the number it is stored under.
    const QVariant number = Adodc1->field(0);
    // The editor reads on as far as the grid has, when the user scrolled past
    // what it holds.
    const int row = datPrimaryRS->seekKey(number);
    if (row < 0) {
        prompts().message(QStringLiteral("編號「%1」的茶葉不在目前編輯的資料中，請按「重新整理」重新讀取。")
                              .arg(displayText(number)));
        showEditedTeaInGrid();
        return;
    }
    // Leaving the tea stores its change: one the owner did not allow keeps the
    // editor on it, as a refusal by the database does.
    if (row != datPrimaryRS->currentRow() && !mayStoreEdit()) {
        showEditedTeaInGrid();
        return;
    }
    const auto endApproval = qScopeGuard([this] { m_approval.reset(); });
    // A change of the tea being left that the database refuses keeps the editor
    // on that tea (the data error message tells why); the grid goes back to it.
    datPrimaryRS->moveToRow(row);
    if (datPrimaryRS->currentRow() != row)
        showEditedTeaInGrid();
}

void TeaKind_frm::txtFields_GotFocus(int index) { selectOnEntry(txtFields[index]); }

void TeaKind_frm::Form_Resize()
{
    // Each size is set only when it can be: a window too small for the grid
    // leaves the grid's height as it was.
    const double innerWidth = innerWidthTwips();
    const double innerHeight = innerHeightTwips();
    placeTwips(picButtons, kBar.left, innerHeight - kBarHeight, innerWidth, kBarHeight);
    grdDataGrid->resize(twips(innerWidth), grdDataGrid->height());
    const double height = innerHeight - pixelsToTwips(grdDataGrid->y()) - kDataControlHeight - kGridGap -
                          pixelsToTwips(picButtons->height());
    if (height >= 0)
        grdDataGrid->resize(grdDataGrid->width(), twips(height));
}

void TeaKind_frm::Form_Unload() { RecordEditor::onClose(); }

} // namespace lumaro
