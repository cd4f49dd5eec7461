#include "orders/Order_frm.h"

#include "books/Find.h"
#include "catalogue/RecordEditor.h"
#include "data/DataControl.h"
#include "data/DataError.h"
#include "data/Schema.h"
#include "forms/BoundTextBox.h"
#include "forms/DataGrid.h"
#include "orders/Controls.h"
#include "platform/Geometry.h"
#include "platform/Handler.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

namespace lumaro {

namespace {

// The order list, in twips, on a client area of 8655 by 7740. 新增 and
// 重新整理 end 60 twips short of the buttons beside them, which they would
// otherwise touch; the customer box ends where the contact box begins, and
// its label stands 30 twips higher, so that its caption clears the one below.
constexpr double kStoredWidth = 8655;
constexpr double kStoredHeight = 7740;
constexpr TwipsRect kLabel1{2280, 210, 720, 180};
constexpr TwipsRect kCustom{3120, 225, 1455, 255};
constexpr TwipsRect kLabel2{2280, 480, 720, 180};
constexpr TwipsRect kContact{3120, 480, 1455, 270};
constexpr TwipsRect kCmdAdd{4920, 120, 1140, 300};
constexpr TwipsRect kCmdRefresh{4920, 480, 1140, 300};
constexpr TwipsRect kCmdDelete{6120, 120, 1095, 300};
constexpr TwipsRect kCmdUpdate{6120, 480, 1095, 300};
constexpr TwipsRect kLabel3{360, 690, 720, 180}; // its caption clears the grid below
constexpr TwipsRect kGrdDataGrid{360, 960, 8415, 1695};

} // namespace

Order_frm::Order_frm(Database& db, QWidget* parent) : Form(QStringLiteral("訂單資料表"), parent), m_db(db)
{
    setObjectName(QStringLiteral("Order_frm"));
    resize(twips(kStoredWidth), twips(kStoredHeight));

    buildOrderList();
    buildOrderLines();
    buildCheckout();
    buildPayment();
    setFocusOrder();
    openControls();
}

void Order_frm::buildOrderList()
{
    datPrimaryRS = controls::dataControl(m_db, this, "datPrimaryRS");
    datPrimaryRS->setRecordSource(schema::sources::OpenOrders);

    Label1 = controls::label(this, "Label1", QStringLiteral("客戶名稱"), kLabel1);
    custom = controls::make<BoundTextBox>(this, "custom");
    placeTwips(custom, kCustom);
    Label2 = controls::label(this, "Label2", QStringLiteral("連絡方式"), kLabel2);
    contact = controls::make<BoundTextBox>(this, "contact");
    placeTwips(contact, kContact);
    cmdAdd = controls::button(this, "cmdAdd", QStringLiteral("新增"), kCmdAdd);
    cmdRefresh = controls::button(this, "cmdRefresh", QStringLiteral("重新整理(&R)"), kCmdRefresh);
    cmdDelete = controls::button(this, "cmdDelete", QStringLiteral("刪除(&D)"), kCmdDelete);
    cmdUpdate = controls::button(this, "cmdUpdate", QStringLiteral("更新(&U)"), kCmdUpdate);
    Label3 = controls::label(this, "Label3", QStringLiteral("客戶訂單"), kLabel3);
    grdDataGrid = controls::grid(this, "grdDataGrid", datPrimaryRS, kGrdDataGrid);

    grdDataGrid->setFind(
        0, [this](const QString& text, const QVariant& after) { return find::nextOpenOrder(m_db, text, after); },
        find::openOrderHint());

    for (BoundTextBox* box : {custom, contact}) {
        controls::keepPlatformColours(box);
    }
    custom->bind(datPrimaryRS, schema::order::Customer);
    contact->bind(datPrimaryRS, schema::order::Contact);

    connect(cmdAdd, &QPushButton::clicked, this, handler([this] { cmdAdd_Click(); }));
    connect(cmdUpdate, &QPushButton::clicked, this, handler([this] { cmdUpdate_Click(); }));
    connect(cmdDelete, &QPushButton::clicked, this, handler([this] { cmdDelete_Click(); }));
    connect(cmdRefresh, &QPushButton::clicked, this, handler([this] { cmdRefresh_Click(); }));
    connect(grdDataGrid, &DataGrid::rowColChange, this, handler([this] { grdDataGrid_RowColChange(); }));
}

void Order_frm::setFocusOrder()
{
    const QList<QWidget*> order = {grdDataGrid, custom, contact, cmdAdd, cmdRefresh, cmdDelete, cmdUpdate, Command2,
                                   DataGrid1, HScroll1, Command1, DataGrid2, Command3,
                                   // Payment and discounts, after the screen's own.
                                   cboPayment, cboPayment2, txtPayment2, txtLineDiscount, txtOrderDiscount,
                                   txtTendered};
    for (int i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

// Each control runs its record source as the screen opens; one that cannot
// be read says so and leaves the screen usable.
void Order_frm::openControls()
{
    for (DataControl* c : {datPrimaryRS, Adodc1, Adodc2}) {
        try {
            c->refresh();
        } catch (const DataError& e) {
            RecordEditor::showDataError(e.description());
        }
    }
}

void Order_frm::cmdAdd_Click()
{
    RecordEditor::guard([this] { RecordEditor::add(*datPrimaryRS); });
}

void Order_frm::cmdUpdate_Click()
{
    RecordEditor::guard([this] { RecordEditor::save(*datPrimaryRS); });
}

void Order_frm::cmdDelete_Click()
{
    // The order goes with its lines (one transaction, in the data layer); the
    // line grid and the total then show the order that is now current, or
    // nothing when none is left, never the deleted order's lines.
    RecordEditor::guard([this] { RecordEditor::remove(*datPrimaryRS); });
    runHandler([this] {
        const QVariant order = currentOrder();
        if (order.isNull()) {
            readLinesOf(qlonglong(0));
            showMoney(QStringLiteral(" "));
        } else {
            readLinesOf(order);
            showTotal();
        }
    });
}

void Order_frm::cmdRefresh_Click()
{
    RecordEditor::guard([this] { RecordEditor::refresh(*datPrimaryRS); });
}

QVariant Order_frm::currentOrder() const
{
    if (!datPrimaryRS->hasCurrent())
        return QVariant();
    const QVariant number = datPrimaryRS->field(0);
    if (number.isNull() || number.toString().trimmed().isEmpty())
        return QVariant();
    return number;
}

void Order_frm::Form_Activate()
{
    loadMethods();
    readLines();
}

void Order_frm::Form_Unload() { RecordEditor::onClose(); }

} // namespace lumaro
