#include "orders/Order_frm.h"

#include "catalogue/RecordEditor.h"
#include "forms/BoundTextBox.h"
#include "data/DataControl.h"
#include "data/DataError.h"
#include "forms/DataGrid.h"
#include "data/Schema.h"
#include "orders/Controls.h"
#include "platform/Geometry.h"
#include "platform/Handler.h"

#include <QLabel>
#include <QPushButton>
#include <QScrollBar>

namespace lumaro {

Order_frm::Order_frm(Database& db, QWidget* parent) : Form(QStringLiteral("訂單資料表"), parent), m_db(db)
{
    setObjectName(QStringLiteral("Order_frm"));
    resize(twips(8655), twips(7740));

    buildOrderList();
    buildOrderLines();
    buildCheckout();
    setFocusOrder();
    openControls();
}

void Order_frm::buildOrderList()
{
    datPrimaryRS = controls::dataControl(m_db, this, "datPrimaryRS");
    datPrimaryRS->setRecordSource(schema::sources::OpenOrders);

    Label1 = controls::label(this, "Label1", QStringLiteral("客戶名稱"), 2280, 240, 720, 180);
    custom = controls::make<BoundTextBox>(this, "custom");
    placeTwips(custom, 3120, 225, 1455, 270);
    Label2 = controls::label(this, "Label2", QStringLiteral("連絡方式"), 2280, 480, 720, 180);
    contact = controls::make<BoundTextBox>(this, "contact");
    placeTwips(contact, 3120, 480, 1455, 270);
    cmdAdd = controls::button(this, "cmdAdd", QStringLiteral("新增"), 4920, 120, 1215, 300);
    cmdRefresh = controls::button(this, "cmdRefresh", QStringLiteral("重新整理(&R)"), 4920, 480, 1215, 300);
    cmdDelete = controls::button(this, "cmdDelete", QStringLiteral("刪除(&D)"), 6120, 120, 1095, 300);
    cmdUpdate = controls::button(this, "cmdUpdate", QStringLiteral("更新(&U)"), 6120, 480, 1095, 300);
    Label3 = controls::label(this, "Label3", QStringLiteral("客戶訂單"), 360, 720, 720, 180);
    grdDataGrid = controls::grid(this, "grdDataGrid", datPrimaryRS, 360, 960, 8415, 1695);

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
    const QList<QWidget*> order = {grdDataGrid, custom,  contact, cmdAdd,    cmdRefresh, cmdDelete, cmdUpdate,
                                   Command2,    DataGrid1, HScroll1, Command1, DataGrid2, Command3};
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
    RecordEditor::guard([this] { RecordEditor::remove(*datPrimaryRS); });
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

void Order_frm::Form_Activate() { readLines(); }

void Order_frm::Form_Unload() { RecordEditor::onClose(); }

} // namespace lumaro
