#include "catalogue/TeaStock_frm.h"

#include "base/Numbers.h"
#include "books/Find.h"
#include "books/MoneyMoves.h"
#include "books/Settings.h"
#include "books/TeaUnits.h"
#include "catalogue/RecordEditor.h"
#include "data/DataControl.h"
#include "data/DataError.h"
#include "data/Schema.h"
#include "forms/BoundTextBox.h"
#include "forms/DataGrid.h"
#include "platform/Controls.h"
#include "platform/Geometry.h"
#include "platform/Handler.h"
#include "platform/Prompts.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

namespace lumaro {

namespace {

// The screen in twips. The grid starts right under the row of controls: with
// the resize rule's height it then ends just above the window's lower edge,
// where at the old top of 2565 it left an empty band above and ran off below.
constexpr double kStoredWidth = 7830;
constexpr TwipsRect kLabel1{240, 120, 720, 180};
constexpr TwipsRect kTeaNum{960, 120, 1080, 270}; // ends where TeaName begins
constexpr TwipsRect kTeaName{2040, 120, 1935, 270};
constexpr TwipsRect kHScroll1{4200, 120, 1800, 255}; // ends where Money begins
constexpr TwipsRect kMoney{6000, 120, 615, 270};
constexpr TwipsRect kLabel2{6720, 240, 210, 180}; // its top is then set to Money's baseline
constexpr TwipsRect kBuy{6960, 120, 495, 255};
constexpr TwipsRect kGrid{0, 480, kStoredWidth, 2775};
// How the purchase was paid, on the same line right of 進貨.
constexpr TwipsRect kLblPaid{7560, 150, 420, 210};
constexpr TwipsRect kTxtPaid{7980, 120, 1005, 270};
constexpr TwipsRect kCboPaidFrom{9060, 120, 840, 270};
constexpr TwipsRect kLblSupplierNote{10000, 150, 420, 210};
constexpr TwipsRect kTxtSupplierNote{10420, 120, 2400, 270};
constexpr double kStoredHeight = 5340 + kDataControlHeight;

const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);

// Moves the label up or down so that its text stands on the same line as the
// text in the box beside it.
void alignBaseline(QLabel* label, const QLineEdit* box)
{
    const QFontMetrics boxFont(box->font());
    const QFontMetrics labelFont(label->font());
    const int boxBaseline = box->y() + (box->height() - boxFont.height() + 1) / 2 + boxFont.ascent();
    const int labelBaseline = (label->height() - labelFont.height() + 1) / 2 + labelFont.ascent();
    label->move(label->x(), boxBaseline - labelBaseline);
}

} // namespace

TeaStock_frm::TeaStock_frm(Database& db, QWidget* parent) : Form(QStringLiteral("茶葉資料表"), parent), m_db(db)
{
    setObjectName(QStringLiteral("TeaStock_frm"));
    resize(twips(kStoredWidth), twips(kStoredHeight));
    QFont small = font();
    small.setPixelSize(12);
    setFont(small);

    datPrimaryRS = new DataControl(db, this);
    datPrimaryRS->setObjectName(QStringLiteral("datPrimaryRS"));
    datPrimaryRS->setRecordSource(schema::sources::TeaCatalogue);
    RecordEditor::reportDataErrors(datPrimaryRS);

    buildControls();
    placeControls();

    connect(HScroll1, &QScrollBar::valueChanged, this, handler([this] { HScroll1_Change(); }));
    connect(Buy, &QPushButton::clicked, this, handler([this] { Buy_Click(); }));
    connect(datPrimaryRS, &DataControl::currentChanged, this, handler([this] {
                showUnit();
                showCost();
            }));
    connect(Money, &QLineEdit::textChanged, this, handler([this] { showCost(); }));

    // The tea list is read once, when the screen opens; its failure is the
    // list control's own error.
    try {
        datPrimaryRS->refresh();
    } catch (const Failure& f) {
        RecordEditor::showDataError(f.description());
    }
    runHandler([this] {
        showUnit();
        showCost();
    });
}

void TeaStock_frm::buildControls()
{
    Label1 = new QLabel(QStringLiteral("進貨貨品"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    setBackground(Label1, lightYellow());
    setTextColor(Label1, kRed);

    auto makeShown = [this](const QString& name, const QString& column) {
        auto* box = new BoundTextBox(this);
        box->setObjectName(name);
        box->setEnabled(false);
        // A disabled box would grey its text; the tea it shows stays blue.
        QPalette p = box->palette();
        p.setColor(QPalette::Disabled, QPalette::Text, kBlue);
        p.setColor(QPalette::Active, QPalette::Text, kBlue);
        p.setColor(QPalette::Inactive, QPalette::Text, kBlue);
        box->setPalette(p);
        box->bind(datPrimaryRS, column);
        return box;
    };
    TeaNum = makeShown(QStringLiteral("TeaNum"), schema::tea::Number);
    TeaName = makeShown(QStringLiteral("TeaName"), schema::tea::Name);

    HScroll1 = new QScrollBar(Qt::Horizontal, this);
    HScroll1->setObjectName(QStringLiteral("HScroll1"));
    HScroll1->setRange(1, 32767);
    HScroll1->setValue(1);
    // An arrow click moves one kilogram, a click in the trough ten.
    HScroll1->setSingleStep(1);
    HScroll1->setPageStep(10);
    // While the thumb is dragged the quantity follows only when it is let go.
    HScroll1->setTracking(false);

    Money = new QLineEdit(QStringLiteral("0"), this);
    Money->setObjectName(QStringLiteral("Money"));

    Label2 = new QLabel(QStringLiteral("Kg"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    setBackground(Label2, lightGreen());
    // The label is only 12 pixels high: a smaller type keeps the g whole.
    QFont tiny = Label2->font();
    tiny.setPixelSize(10);
    Label2->setFont(tiny);
    Label2->setAlignment(Qt::AlignCenter);

    Buy = controls::button(this, "Buy", QStringLiteral("進貨"));

    grdDataGrid = new DataGrid(this);
    grdDataGrid->setObjectName(QStringLiteral("grdDataGrid"));
    grdDataGrid->setDataControl(datPrimaryRS);
    grdDataGrid->setUnitCells(0, {4});
    grdDataGrid->setFind(
        0, [this](const QString& text, const QVariant& after) { return find::nextTea(m_db, text, after); },
        find::teaHint());

    // Made after the grid, so Tab reaches them after the controls the screen
    // always had.
    lblPaid = new QLabel(QStringLiteral("實付"), this);
    lblPaid->setObjectName(QStringLiteral("lblPaid"));
    txtPaid = new QLineEdit(this);
    txtPaid->setObjectName(QStringLiteral("txtPaid"));
    txtPaid->setToolTip(QStringLiteral("這次進貨實際付的金額；空白就是數量 × 進價"));
    cboPaidFrom = new QComboBox(this);
    cboPaidFrom->setObjectName(QStringLiteral("cboPaidFrom"));
    cboPaidFrom->addItems({QStringLiteral("現金"), QStringLiteral("銀行")});
    cboPaidFrom->setToolTip(QStringLiteral("從現金或銀行付款"));
    lblSupplierNote = new QLabel(QStringLiteral("備註"), this);
    lblSupplierNote->setObjectName(QStringLiteral("lblSupplierNote"));
    txtSupplierNote = new QLineEdit(this);
    txtSupplierNote->setObjectName(QStringLiteral("txtSupplierNote"));
    txtSupplierNote->setMaxLength(200);
    txtSupplierNote->setToolTip(QStringLiteral("給供應商的備註，例如發票號碼"));
}

void TeaStock_frm::placeControls()
{
    placeTwips(Label1, kLabel1);
    placeTwips(TeaNum, kTeaNum);
    placeTwips(TeaName, kTeaName);
    placeTwips(HScroll1, kHScroll1);
    placeTwips(Money, kMoney);
    placeTwips(Label2, kLabel2);
    alignBaseline(Label2, Money);
    placeTwips(Buy, kBuy);
    placeTwips(grdDataGrid, kGrid);
    placeTwips(lblPaid, kLblPaid);
    placeTwips(txtPaid, kTxtPaid);
    placeTwips(cboPaidFrom, kCboPaidFrom);
    placeTwips(lblSupplierNote, kLblSupplierNote);
    placeTwips(txtSupplierNote, kTxtSupplierNote);
}

double TeaStock_frm::gridHeight(double innerHeight)
{
    return static_cast<float>(innerHeight) - static_cast<float>(kDataControlHeight) -
           static_cast<float>(kGridBottomMargin);
}

void TeaStock_frm::showUnit()
{
    const QVariant tea = datPrimaryRS->hasCurrent() ? datPrimaryRS->storedField(0) : QVariant();
    const units::Unit& unit = tea.isNull() ? units::kilogram() : teaUnits::unitOf(m_db, tea.toString());
    placeTwips(Label2, kLabel2);
    alignBaseline(Label2, Money);
    if (&unit == &units::kilogram()) {
        Label2->setText(QStringLiteral("Kg"));
        return;
    }
    // A longer name grows to the left, into the gap after Money, so Buy keeps
    // its place.
    Label2->setText(unit.name);
    const int right = Label2->x() + Label2->width();
    const int width = qMin(qMax(Label2->width(), Label2->sizeHint().width()), right - (Money->x() + Money->width()));
    Label2->setGeometry(right - width, Label2->y(), width, Label2->height());
}

void TeaStock_frm::HScroll1_Change() { Money->setText(QString::number(HScroll1->value())); }

std::optional<lumaro::Money> TeaStock_frm::typedQuantity(const QString& tea)
{
    // Another unit of the same measure is converted to the tea's; a text in
    // the tea's own unit, or in none, reads as it always has.
    const units::Reading typed = units::read(Money->text(), teaUnits::unitOf(m_db, tea));
    if (!typed.ok()) {
        prompts().message(typed.refusal, Buttons::Ok, QStringLiteral("進貨數量"));
        return std::nullopt;
    }
    return money::typedAmount(typed.value, QStringLiteral("進貨數量"));
}

void TeaStock_frm::showCost()
{
    if (!txtPaid)
        return;
    QString offered;
    const QVariant tea = datPrimaryRS->hasCurrent() ? datPrimaryRS->storedField(0) : QVariant();
    // Only an offer: a quantity that cannot be read offers nothing here, and
    // 進貨 tells why.
    if (!tea.toString().isEmpty()) {
        try {
            const units::Reading typed = units::read(Money->text(), teaUnits::unitOf(m_db, tea.toString()));
            if (typed.ok() && isShopNumber(typed.value))
                if (const auto cost = money::purchaseCost(m_db, tea.toString(), lumaro::Money::fromDouble(typed.value)))
                    offered = cost->toString();
        } catch (const Failure&) {
        }
    }
    txtPaid->setPlaceholderText(offered);
}

bool TeaStock_frm::belowZeroAgreed(lumaro::Money cost, bool fromBank)
{
    if (settings::get(m_db, settings::key::PurchaseAskBelowZero) != QLatin1String("1") || cost <= lumaro::Money())
        return true;
    const money::AccountRow a = money::accountRow(m_db);
    const lumaro::Money after = (fromBank ? a.bank : a.cash) - cost;
    if (after >= lumaro::Money())
        return true;
    const QString from = fromBank ? QStringLiteral("銀行") : QStringLiteral("現金");
    return prompts().message(QStringLiteral("這次進貨要從%1付 %2 元，付款後%1會是 %3 元。\r仍要進貨嗎？")
                                 .arg(from, cost.toString(), after.toString()),
                             Buttons::YesNo, QStringLiteral("進貨")) == Answer::Yes;
}

void TeaStock_frm::Buy_Click()
{
    if (!datPrimaryRS->hasCurrent()) {
        prompts().message(money::chooseTeaFirstText());
        return;
    }
    const QVariant tea = datPrimaryRS->field(0);
    // A tea numbered with nothing is refused before the kilograms are read,
    // as no tea chosen is.
    if (tea.toString().isEmpty()) {
        prompts().message(money::chooseTeaFirstText());
        return;
    }
    const std::optional<lumaro::Money> kg = typedQuantity(tea.toString());
    if (!kg)
        return;

    money::Paid paid;
    const QString typedPaid = txtPaid->text().trimmed();
    if (!typedPaid.isEmpty()) {
        bool ok = false;
        const double amount = toNumberStrict(typedPaid, &ok);
        if (!ok || amount < 0) {
            prompts().message(QStringLiteral("實付金額要是 0 或更大的數字，或留空以數量 × 進價計算。"), Buttons::Ok,
                              QStringLiteral("進貨"));
            txtPaid->setFocus();
            return;
        }
        paid.amount = money::typedAmount(amount, QStringLiteral("實付金額"));
    }
    paid.fromBank = cboPaidFrom->currentIndex() == 1;
    paid.note = txtSupplierNote->text();

    if (*kg > lumaro::Money()) {
        const std::optional<lumaro::Money> cost =
            paid.amount ? paid.amount : money::purchaseCost(m_db, tea.toString(), *kg);
        if (cost && !belowZeroAgreed(*cost, paid.fromBank))
            return;
    }

    try {
        money::purchase(m_db, tea.toString(), *kg, paid);
    } catch (const MoveRefused& refused) {
        prompts().message(refused.description(), Buttons::Ok, refused.title());
        return;
    }
    // What was paid and the note belong to this delivery; where it was paid
    // from stays for the next.
    txtPaid->clear();
    txtSupplierNote->clear();

    // Show the stock as stored, on the same tea: only that tea is read back.
    datPrimaryRS->refreshRows({tea});
}

void TeaStock_frm::Form_Resize()
{
    // Too small a window gives a negative height: the grid is then left as it
    // was.
    if (!grdDataGrid)
        return;
    const double h = gridHeight(innerHeightTwips());
    if (h < 0)
        return;
    const QRect g = grdDataGrid->geometry();
    grdDataGrid->setGeometry(g.x(), g.y(), g.width(), twips(h));
}

void TeaStock_frm::Form_Unload() { RecordEditor::onClose(); }

} // namespace lumaro
