#include "catalogue/StockCount_frm.h"

#include "base/Numbers.h"
#include "books/Kinds.h"
#include "catalogue/WriteOffWindow.h"
#include "forms/OwnerApproval.h"
#include "platform/Controls.h"
#include "platform/Handler.h"
#include "platform/Prompts.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

namespace lumaro {

namespace {

const QString kTitle = QStringLiteral("盤點庫存");
// The most teas a question lists one by one.
constexpr int kListed = 12;

// The reason cell is chosen from the reasons, never typed.
class ReasonDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex&) const override
    {
        auto* box = new QComboBox(parent);
        box->addItems(moves::reason::all());
        return box;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override
    {
        static_cast<QComboBox*>(editor)->setCurrentText(index.data().toString());
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override
    {
        model->setData(index, static_cast<QComboBox*>(editor)->currentText());
    }
};

QTableWidgetItem* shown(const QString& text, bool number = false)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    if (number)
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

const units::Unit& unitOf(const stock::BookStock& s)
{
    const units::Unit* u = units::fromStored(s.unit);
    return u ? *u : units::kilogram();
}

QString label(const stock::BookStock& s) { return s.tea + QLatin1Char(' ') + s.name; }

} // namespace

StockCount_frm::StockCount_frm(Database& db, QWidget* parent) : Form(kTitle, parent), m_db(db)
{
    setObjectName(QStringLiteral("StockCount_frm"));
    txtNote = controls::make<QLineEdit>(this, "txtNote");
    txtNote->setPlaceholderText(QStringLiteral("（可不填）"));
    cmdRefresh = controls::button(this, "cmdRefresh", QStringLiteral("重新整理"));
    cmdWriteOff = controls::button(this, "cmdWriteOff", QStringLiteral("報廢…"));
    cmdPost = controls::button(this, "cmdPost", QStringLiteral("過帳"));

    grdCount = controls::make<QTableWidget>(this, "grdCount");
    grdCount->setColumnCount(Columns);
    grdCount->setHorizontalHeaderLabels({QStringLiteral("編號"), QStringLiteral("名稱"), QStringLiteral("單位"),
                                         QStringLiteral("帳面庫存"), QStringLiteral("盤點數量"), QStringLiteral("差異"),
                                         QStringLiteral("差異金額"), QStringLiteral("原因")});
    grdCount->verticalHeader()->hide();
    grdCount->setSelectionBehavior(QAbstractItemView::SelectItems);
    grdCount->setSelectionMode(QAbstractItemView::SingleSelection);
    grdCount->setEditTriggers(QAbstractItemView::AllEditTriggers);
    grdCount->setItemDelegateForColumn(Reason, new ReasonDelegate(grdCount));
    grdCount->horizontalHeader()->setSectionResizeMode(Name, QHeaderView::Stretch);
    // Room for a difference typed later, such as -12.5 or -1234.5.
    grdCount->horizontalHeader()->setMinimumSectionSize(80);
    // Fitting the columns measures the first screenfuls, not every tea of a
    // large catalogue.
    grdCount->horizontalHeader()->setResizeContentsPrecision(100);
    lblSummary = controls::make<QLabel>(this, "lblSummary");

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("備註："), this));
    top->addWidget(txtNote, 1);
    top->addWidget(cmdRefresh);
    top->addWidget(cmdWriteOff);
    top->addWidget(cmdPost);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(grdCount, 1);
    layout->addWidget(lblSummary);

    connect(grdCount, &QTableWidget::cellChanged, this,
            [this](int row, int column) { runHandler([=, this] { grdCount_Change(row, column); }); });
    connect(cmdPost, &QPushButton::clicked, this, handler([this] { cmdPost_Click(); }));
    connect(cmdRefresh, &QPushButton::clicked, this, handler([this] { cmdRefresh_Click(); }));
    connect(cmdWriteOff, &QPushButton::clicked, this, handler([this] { cmdWriteOff_Click(); }));
    runHandler([this] { reload(); });
}

QHash<QString, StockCount_frm::Typed> StockCount_frm::typed() const
{
    QHash<QString, Typed> out;
    for (int row = 0; row < grdCount->rowCount(); ++row) {
        const QString counted = grdCount->item(row, Counted)->text();
        const QString reason = grdCount->item(row, Reason)->text();
        if (!counted.trimmed().isEmpty() || reason != moves::reason::Counted)
            out.insert(grdCount->item(row, Tea)->text(), Typed{counted, reason});
    }
    return out;
}

void StockCount_frm::reload()
{
    const QHash<QString, Typed> kept = typed();
    m_teas = stock::bookStock(m_db);
    m_filling = true;
    grdCount->setRowCount(int(m_teas.size()));
    for (int row = 0; row < m_teas.size(); ++row) {
        const stock::BookStock& s = m_teas[row];
        const Typed t = kept.value(s.tea, Typed{QString(), moves::reason::Counted});
        grdCount->setItem(row, Tea, shown(s.tea));
        grdCount->setItem(row, Name, shown(s.name));
        grdCount->setItem(row, Unit, shown(unitOf(s).name));
        grdCount->setItem(row, Book, shown(s.stock ? s.stock->toString() : badNumberMark(), true));
        auto* counted = new QTableWidgetItem(t.counted);
        counted->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        // A stock no move can be worked out on is not counted over.
        if (!s.stock)
            counted->setFlags(counted->flags() & ~(Qt::ItemIsEditable | Qt::ItemIsEnabled));
        grdCount->setItem(row, Counted, counted);
        grdCount->setItem(row, Difference, shown(QString(), true));
        grdCount->setItem(row, Cost, shown(QString(), true));
        grdCount->setItem(row, Reason, new QTableWidgetItem(t.reason));
        showDifference(row);
    }
    m_filling = false;
    grdCount->resizeColumnsToContents();
    showSummary();
}

void StockCount_frm::showDifference(int row)
{
    const stock::BookStock& s = m_teas[row];
    const QString text = grdCount->item(row, Counted)->text();
    QString difference, cost;
    if (s.stock && !text.trimmed().isEmpty()) {
        const units::Reading r = stock::readCounted(text, unitOf(s));
        if (!r.ok()) {
            difference = QStringLiteral("（看不懂）");
        } else {
            const Money diff = Money::fromDouble(r.value) - *s.stock;
            difference = diff.toString();
            if (!s.cost.isNull() && isShopNumber(s.cost.toDouble()))
                cost = (Money::fromStored(s.cost) * diff).toString();
        }
    }
    grdCount->item(row, Difference)->setText(difference);
    grdCount->item(row, Cost)->setText(cost);
}

void StockCount_frm::showSummary()
{
    int counted = 0, differ = 0;
    Money total;
    for (int row = 0; row < grdCount->rowCount(); ++row) {
        if (grdCount->item(row, Counted)->text().trimmed().isEmpty())
            continue;
        ++counted;
        const QString diff = grdCount->item(row, Difference)->text();
        if (!diff.isEmpty() && diff != QLatin1String("0"))
            ++differ;
        total += Money::parse(grdCount->item(row, Cost)->text());
    }
    lblSummary->setText(counted == 0 ? QStringLiteral("在「盤點數量」欄輸入點算的數量（可以只輸入幾種）。")
                                     : QStringLiteral("已輸入 %1 種，其中 %2 種與帳面不同，差異金額合計 %3。")
                                           .arg(counted)
                                           .arg(differ)
                                           .arg(total.toString()));
}

void StockCount_frm::grdCount_Change(int row, int column)
{
    if (m_filling || column != Counted || row < 0 || row >= m_teas.size())
        return;
    showDifference(row);
    grdCount->resizeColumnToContents(Difference);
    grdCount->resizeColumnToContents(Cost);
    showSummary();
}

void StockCount_frm::Form_Activate() { reload(); }

void StockCount_frm::cmdRefresh_Click() { reload(); }

void StockCount_frm::cmdWriteOff_Click()
{
    const int row = grdCount->currentRow();
    const QString tea = row >= 0 && row < m_teas.size() ? m_teas[row].tea : QString();
    WriteOffWindow* w = showWriteOff(m_db, tea, this);
    connect(w, &WriteOffWindow::writtenOff, this, handler([this] { reload(); }));
}

void StockCount_frm::cmdPost_Click()
{
    QList<stock::Count> counts;
    QStringList listed;
    Money total;
    for (int row = 0; row < m_teas.size(); ++row) {
        const stock::BookStock& s = m_teas[row];
        const QString text = grdCount->item(row, Counted)->text();
        if (!s.stock || text.trimmed().isEmpty())
            continue;
        const units::Reading r = stock::readCounted(text, unitOf(s));
        if (!r.ok()) {
            grdCount->setCurrentCell(row, Counted);
            prompts().message(QStringLiteral("%1：%2").arg(label(s), r.refusal), Buttons::Ok, kTitle);
            return;
        }
        const stock::Count c{s.tea, s.name, *s.stock, Money::fromDouble(r.value), grdCount->item(row, Reason)->text()};
        counts << c;
        const Money diff = c.counted - c.seen;
        if (diff == Money())
            continue;
        if (!s.cost.isNull() && isShopNumber(s.cost.toDouble()))
            total += Money::fromStored(s.cost) * diff;
        if (listed.size() <= kListed)
            listed << QStringLiteral("%1：%2 → %3 %4（%5）")
                          .arg(label(s), c.seen.toString(), c.counted.toString(), unitOf(s).name, c.reason);
    }
    if (counts.isEmpty()) {
        prompts().message(QStringLiteral("請先在「盤點數量」欄輸入點算的數量。"), Buttons::Ok, kTitle);
        return;
    }
    if (listed.isEmpty()) {
        prompts().message(QStringLiteral("盤點數量與帳面庫存都相符，不需要調整。"), Buttons::Ok, kTitle);
        return;
    }
    if (listed.size() > kListed)
        listed.last() = QStringLiteral("……");
    const QString question = QStringLiteral("要把這次盤點過帳嗎？\r%1\r差異金額合計（以進價計）%2。")
                                 .arg(listed.join(QChar(13)), total.toString());
    if (prompts().message(question, Buttons::YesNo, kTitle) != Answer::Yes)
        return;
    QList<stock::Posted> posted;
    try {
        if (!withRight(m_db, people::Right::Adjust,
                       [&] { posted = stock::postCount(m_db, counts, txtNote->text().trimmed()); }))
            return;
    } catch (const stock::StockMoved& moved) {
        // The new book figures are shown beside the counts as typed.
        reload();
        prompts().message(moved.description(), Buttons::Ok, moved.title());
        return;
    } catch (const MoveRefused& refused) {
        prompts().message(refused.description(), Buttons::Ok, refused.title());
        return;
    }
    // Posted once: the counts are cleared, so a second click has nothing to post.
    m_filling = true;
    for (int row = 0; row < grdCount->rowCount(); ++row) {
        grdCount->item(row, Counted)->setText(QString());
        grdCount->item(row, Reason)->setText(moves::reason::Counted);
    }
    m_filling = false;
    txtNote->clear();
    reload();
    prompts().message(QStringLiteral("盤點已過帳：%1 種茶葉的帳面庫存已改成盤點數量。").arg(posted.size()), Buttons::Ok,
                      kTitle);
}

} // namespace lumaro
