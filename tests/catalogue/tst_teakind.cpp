#include "catalogue/TeaKind_frm.h"
#include "data/DataControl.h"
#include "data/DataError.h"
#include "forms/BoundTextBox.h"
#include "forms/DataGrid.h"
#include "platform/Geometry.h"
#include "support/Outside.h"
#include "support/TestShop.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QInputMethodEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

#include <memory>

using namespace lumaro;
using namespace lumaro::test;

namespace {

QString teaNumber(int i) { return QStringLiteral("T%1").arg(i, 2, 10, QLatin1Char('0')); }

// A shop with `count` teas T01..Tnn, the catalogue screen open on it at its
// stored size.
struct Screen {
    explicit Screen(int count, bool shuffled = false)
    {
        for (int k = 0; k < count; ++k) {
            // Stored out of order, so only the screen's own ordering can put them right.
            const int i = shuffled ? count - k : k + 1;
            shop.tea(teaNumber(i), QStringLiteral("茶%1").arg(i), 100 * i, 150 * i, i);
        }
        form = std::make_unique<TeaKind_frm>(shop.db());
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get()))
            qFatal("the screen was never shown");
    }

    BoundTextBox* box(int i) { return form->findChild<BoundTextBox*>(QStringLiteral("txtFields_%1").arg(i)); }
    DataGrid* grid() { return form->findChild<DataGrid*>(QStringLiteral("grdDataGrid")); }
    DataControl* primary() { return form->findChild<DataControl*>(QStringLiteral("datPrimaryRS")); }
    QString shown() { return box(0)->text(); }
    void click(const char* button)
    {
        QTest::mouseClick(form->findChild<QPushButton*>(QLatin1String(button)), Qt::LeftButton);
    }

    void clickRow(int row)
    {
        const QModelIndex idx = grid()->model()->index(row, 1);
        grid()->scrollTo(idx);
        QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, grid()->visualRect(idx).center());
    }
    QString gridCell(int row, int col) { return grid()->model()->index(row, col).data().toString(); }
    QString gridCurrentNumber() { return gridCell(grid()->currentDataRow(), 0); }

    // Replaces a box's text as the user would: select it all, then type.
    void type(int i, const QString& text)
    {
        box(i)->setFocus();
        box(i)->selectAll();
        QTest::keyClick(box(i), Qt::Key_Delete);
        for (const QChar c : text) {
            if (c.unicode() < 0x80) {
                QTest::keyClicks(box(i), QString(c));
            } else {
                // Chinese comes in through the input method, as on the shop's keyboard.
                QInputMethodEvent e;
                e.setCommitString(QString(c));
                QApplication::sendEvent(box(i), &e);
            }
        }
    }

    QStringList tableNumbers()
    {
        QStringList out;
        for (const QVariantList& r : shop.rows(QStringLiteral("SELECT 編號 FROM 茶葉資料表 ORDER BY 編號")))
            out << r[0].toString();
        return out;
    }
    QStringList messages()
    {
        QStringList out;
        for (const auto& m : prompts->messages())
            out << m.text;
        return out;
    }

    TestShop shop;
    PromptScope prompts;
    std::unique_ptr<TeaKind_frm> form;
};

} // namespace

class TeaKindTest : public QObject {
    Q_OBJECT
private slots:
    void opensOnSmallestNumber();
    void editorFollowsSelectedTea_data();
    void editorFollowsSelectedTea();
    void teaOnlyInGridIsReportedNotEdited();
    void renumberedTeaFoundByStoredNumber();
    void updateStoresAndGridShowsIt();
    void deleteMovesOn_data();
    void deleteMovesOn();
    void newTeaStoredExactly();
    void firstTeaOfEmptyCatalogue();
    void databaseRefusalNamesColumnAndValue_data();
    void databaseRefusalNamesColumnAndValue();
    void orderLinesFollowTheirTea();
    void refusedChangeKeepsEditorOnTea();
    void refreshReadsBoth();
    void layoutRule();
    void columnWidthsSurviveReread();
    void selectOnEntry_data();
    void selectOnEntry();
    void focusOrder();
    void closingResetsPointer();
    void unitChoiceChangesTheTea();
};

void TeaKindTest::opensOnSmallestNumber()
{
    Screen s(4, true);
    QCOMPARE(s.form->windowTitle(), QStringLiteral("茶葉資料表"));
    QCOMPARE(s.shown(), QStringLiteral("T01"));
    QCOMPARE(s.box(1)->text(), QStringLiteral("茶1"));
    QCOMPARE(s.box(2)->text(), QStringLiteral("100"));
    QCOMPARE(s.box(3)->text(), QStringLiteral("150"));
    QCOMPARE(s.gridCurrentNumber(), QStringLiteral("T01"));
    QStringList headers;
    for (int c = 0; c < s.grid()->model()->columnCount(); ++c)
        headers << s.grid()->model()->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(headers, texts({"編號", "名稱", "進價", "訂價", "庫存"}));
    QVERIFY(s.messages().isEmpty());
}

void TeaKindTest::editorFollowsSelectedTea_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("expected");
    QTest::newRow("fresh grid") << ""
                                << "T05";
    // The fifth visible row of a grid scrolled down by ten is the fifteenth tea.
    QTest::newRow("scrolled grid") << "scroll"
                                   << "T15";
    // A00 sorts first in the re-read grid but stands last among the editor's rows.
    QTest::newRow("after add") << "add"
                               << "T04";
    QTest::newRow("after delete") << "delete"
                                  << "T06";
}

void TeaKindTest::editorFollowsSelectedTea()
{
    QFETCH(QString, before);
    QFETCH(QString, expected);
    Screen s(30);
    int row = 4;
    if (before == QLatin1String("scroll")) {
        s.grid()->verticalScrollBar()->setValue(10);
        row = 14;
    } else if (before == QLatin1String("add")) {
        s.click("cmdAdd");
        s.type(0, QStringLiteral("A00"));
        s.type(1, QStringLiteral("新茶"));
        s.click("cmdUpdate");
    } else if (before == QLatin1String("delete")) {
        s.clickRow(1);
        s.click("cmdDelete");
    }
    s.clickRow(row);
    QCOMPARE(s.gridCurrentNumber(), expected);
    QCOMPARE(s.shown(), expected);
    QCOMPARE(s.box(1)->text(), QStringLiteral("茶%1").arg(expected.mid(1).toInt()));
    QVERIFY2(s.messages().isEmpty(), qPrintable(s.messages().join(QLatin1Char('\n'))));
}

void TeaKindTest::teaOnlyInGridIsReportedNotEdited()
{
    Screen s(3);
    s.clickRow(1);
    // Another terminal adds a tea; 更新 re-reads the grid only.
    s.shop.tea(QStringLiteral("T00"), QStringLiteral("別台新增"), 1, 2, 3);
    s.click("cmdUpdate");
    QCOMPARE(s.gridCell(0, 0), QStringLiteral("T00"));
    s.clickRow(0);
    QCOMPARE(s.messages().size(), 1);
    QVERIFY(s.messages()[0].contains(QStringLiteral("T00")));
    QCOMPARE(s.shown(), QStringLiteral("T02"));
    QCOMPARE(s.gridCurrentNumber(), QStringLiteral("T02"));
}

void TeaKindTest::renumberedTeaFoundByStoredNumber()
{
    Screen s(4);
    s.clickRow(1);
    s.type(0, QStringLiteral("T03"));
    // Clicking the tea being renumbered keeps it; clicking the tea that
    // already has the new number stores the change, which the database refuses.
    s.clickRow(1);
    QVERIFY(s.messages().isEmpty());
    s.clickRow(2);
    QCOMPARE(s.messages().size(), 1);
    QVERIFY(s.messages()[0].startsWith(QStringLiteral("Data error event hit err:")));
    QCOMPARE(s.shown(), QStringLiteral("T03"));
    QCOMPARE(s.box(1)->text(), QStringLiteral("茶2"));
    QCOMPARE(s.gridCurrentNumber(), QStringLiteral("T02"));

    s.prompts->clear();
    s.type(0, QStringLiteral("T20"));
    s.clickRow(3);
    QVERIFY(s.messages().isEmpty());
    QCOMPARE(s.shown(), QStringLiteral("T04"));
    QCOMPARE(s.tableNumbers(), texts({"T01", "T03", "T04", "T20"}));
}

void TeaKindTest::updateStoresAndGridShowsIt()
{
    Screen s(5);
    s.clickRow(2);
    s.type(3, QStringLiteral("2750.5"));
    s.click("cmdUpdate");
    QVERIFY2(s.messages().isEmpty(), qPrintable(s.messages().join(QLatin1Char('\n'))));
    QCOMPARE(s.shop.scalar(QStringLiteral("SELECT 訂價 FROM 茶葉資料表 WHERE 編號='T03'")).toDouble(), 2750.5);
    QCOMPARE(s.gridCell(2, 3), QStringLiteral("2750.5"));
    QCOMPARE(s.gridCurrentNumber(), QStringLiteral("T03"));
    QCOMPARE(s.shown(), QStringLiteral("T03"));
    QVERIFY(!s.primary()->hasPending());
}

void TeaKindTest::deleteMovesOn_data()
{
    QTest::addColumn<int>("teas");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("current");
    QTest::addColumn<bool>("failedMove");
    QTest::newRow("middle") << 5 << 2 << "T04" << false;
    QTest::newRow("last") << 5 << 4 << "T04" << false;
    QTest::newRow("only") << 1 << 0 << "" << true;
    QTest::newRow("empty table") << 0 << -1 << "" << true;
}

void TeaKindTest::deleteMovesOn()
{
    QFETCH(int, teas);
    QFETCH(int, row);
    QFETCH(QString, current);
    QFETCH(bool, failedMove);
    Screen s(teas);
    QStringList remaining = s.tableNumbers();
    if (row >= 0) {
        s.clickRow(row);
        remaining.removeAt(row);
    }
    s.click("cmdDelete");

    QCOMPARE(s.tableNumbers(), remaining);
    QCOMPARE(s.shown(), current);
    // The grid was re-read after the delete: it lists what the table holds
    // and stands on the tea the editor moved to.
    QCOMPARE(s.grid()->model()->rowCount(), remaining.size());
    if (!current.isEmpty())
        QCOMPARE(s.gridCurrentNumber(), current);
    if (failedMove) {
        QCOMPARE(s.messages(), QStringList{DataControl::noCurrentRowText()});
        QCOMPARE(s.prompts->messages()[0].title, QStringLiteral("Lumaro"));
    } else {
        QVERIFY2(s.messages().isEmpty(), qPrintable(s.messages().join(QLatin1Char('\n'))));
    }
}

void TeaKindTest::newTeaStoredExactly()
{
    Screen s(2);
    s.click("cmdAdd");
    for (int i = 0; i < 4; ++i)
        QVERIFY(s.box(i)->text().isEmpty());
    const QString name = QStringLiteral("老欉'水仙 \"特選\"");
    s.type(0, QStringLiteral("W'01"));
    s.type(1, name);
    s.type(2, QStringLiteral("350.25"));
    s.type(3, QStringLiteral("520"));
    s.click("cmdUpdate");
    QVERIFY2(s.messages().isEmpty(), qPrintable(s.messages().join(QLatin1Char('\n'))));
    const auto rows = s.shop.rows(QStringLiteral("SELECT 名稱, 進價, 訂價, 庫存 FROM 茶葉資料表 WHERE 編號 = ?"),
                                  {QStringLiteral("W'01")});
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows[0][0].toString(), name);
    QCOMPARE(rows[0][1].toDouble(), 350.25);
    QCOMPARE(rows[0][2].toDouble(), 520.0);
    QCOMPARE(rows[0][3].toDouble(), 0.0);
    QCOMPARE(s.grid()->model()->rowCount(), 3);
    QCOMPARE(s.gridCurrentNumber(), QStringLiteral("W'01"));
}

void TeaKindTest::firstTeaOfEmptyCatalogue()
{
    Screen s(0);
    // Nothing to edit yet: typing goes nowhere and asks nothing.
    QTest::keyClicks(s.box(1), QStringLiteral("abc"));
    QCOMPARE(s.box(1)->text(), QString());
    QVERIFY(s.messages().isEmpty());

    s.click("cmdAdd");
    s.type(0, QStringLiteral("T01"));
    s.type(2, QStringLiteral("80"));
    s.click("cmdUpdate");
    QVERIFY2(s.messages().isEmpty(), qPrintable(s.messages().join(QLatin1Char('\n'))));
    QCOMPARE(s.tableNumbers(), texts({"T01"}));
    QCOMPARE(s.shop.scalar(QStringLiteral("SELECT 進價 FROM 茶葉資料表")).toDouble(), 80.0);
    QCOMPARE(s.gridCurrentNumber(), QStringLiteral("T01"));
}

void TeaKindTest::databaseRefusalNamesColumnAndValue_data()
{
    QTest::addColumn<int>("box");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("sql");      // the same refusal, asked of the database directly
    QTest::addColumn<QString>("sentence"); // what the shop owner reads first
    QTest::newRow("text in a price") << 2 << QStringLiteral("便宜")
                                     << QStringLiteral("UPDATE 茶葉資料表 SET 進價 = '便宜' WHERE 編號 = 'T02'")
                                     << QStringLiteral("進價 必須是數字，「便宜」不是。");
    QTest::newRow("a number taken") << 0 << QStringLiteral("T03")
                                    << QStringLiteral("UPDATE 茶葉資料表 SET 編號 = 'T03' WHERE 編號 = 'T02'")
                                    << QStringLiteral("編號 T03 已經存在，不能重複。");
}

void TeaKindTest::databaseRefusalNamesColumnAndValue()
{
    QFETCH(int, box);
    QFETCH(QString, typed);
    QFETCH(QString, sql);
    QFETCH(QString, sentence);
    Screen s(3);
    s.clickRow(1);
    // The database's own text for this very refusal, which follows the sentence.
    QString original;
    try {
        s.shop.exec(sql);
    } catch (const DataError& e) {
        original = e.original();
    }
    QVERIFY(!original.isEmpty());
    s.shop.tea(QStringLiteral("T00"), QStringLiteral("別台新增"), 1, 2, 3);

    s.type(box, typed);
    s.click("cmdUpdate");
    QCOMPARE(s.messages(), QStringList{sentence + QStringLiteral("\r（") + original + QStringLiteral("）")});
    QCOMPARE(s.shop.scalar(QStringLiteral("SELECT 進價 FROM 茶葉資料表 WHERE 編號 = 'T02'")).toDouble(), 200.0);
    // A refused save leaves the grid as it was: not re-read.
    QCOMPARE(s.grid()->model()->rowCount(), 3);
    QCOMPARE(s.box(box)->text(), typed);
}

// A renumbered tea takes its order lines along in the same store; a tea an
// open order still needs is not deleted.
void TeaKindTest::orderLinesFollowTheirTea()
{
    Screen s(3);
    const qlonglong open = s.shop.order(QStringLiteral("王"));
    const qlonglong settled = s.shop.order(QStringLiteral("李"), QString(), 1);
    s.shop.line(open, QStringLiteral("T02"), 2);
    s.shop.line(settled, QStringLiteral("T02"), 1);
    s.shop.line(settled, QStringLiteral("T03"), 1);
    auto linesOf = [&](const QString& tea) {
        return s.shop.scalar(QStringLiteral("SELECT count(*) FROM 訂單明細表 WHERE 茶葉編號 = ?"), {tea}).toInt();
    };

    s.clickRow(1);
    s.type(0, QStringLiteral("T22"));
    s.shop.failWrites(QStringLiteral("明細鎖住"), QStringLiteral("BEFORE UPDATE"), QStringLiteral("訂單明細表"),
                      QStringLiteral("磁碟故障"));
    s.click("cmdUpdate"); // the lines cannot follow: the tea keeps its number
    QCOMPARE(s.messages().size(), 1);
    QCOMPARE(s.tableNumbers(), texts({"T01", "T02", "T03"}));
    s.shop.dropFailure(QStringLiteral("明細鎖住"), QStringLiteral("訂單明細表"));
    s.prompts->clear();
    s.click("cmdUpdate");
    QCOMPARE(s.messages(), QStringList{});
    QCOMPARE(s.tableNumbers(), texts({"T01", "T03", "T22"}));
    QCOMPARE(linesOf(QStringLiteral("T22")), 2);
    QCOMPARE(linesOf(QStringLiteral("T02")), 0);

    s.click("cmdDelete");
    QCOMPARE(s.messages(), QStringList{QStringLiteral("此茶葉仍在未結帳的訂單中：%1").arg(open)});
    QCOMPARE(s.tableNumbers(), texts({"T01", "T03", "T22"}));

    s.prompts->clear();
    s.clickRow(1); // T03, wanted only by a settled order
    QCOMPARE(s.shown(), QStringLiteral("T03"));
    s.click("cmdDelete");
    QCOMPARE(s.messages(), QStringList{});
    QCOMPARE(s.tableNumbers(), texts({"T01", "T22"}));
}

void TeaKindTest::refusedChangeKeepsEditorOnTea()
{
    Screen s(4);
    s.clickRow(1);
    s.type(3, QStringLiteral("abc"));
    s.clickRow(3);
    QCOMPARE(s.messages().size(), 1);
    QVERIFY(s.messages()[0].startsWith(QStringLiteral("Data error event hit err:")));
    QVERIFY(s.messages()[0].size() > QStringLiteral("Data error event hit err:").size());
    QCOMPARE(s.shown(), QStringLiteral("T02"));
    QCOMPARE(s.gridCurrentNumber(), QStringLiteral("T02"));
    // The highlight stays with the tea being edited, not with the clicked row.
    const QModelIndexList selected = s.grid()->selectionModel()->selectedRows();
    QCOMPARE(selected.size(), 1);
    QCOMPARE(selected[0].row(), 1);
    QCOMPARE(s.shop.scalar(QStringLiteral("SELECT 訂價 FROM 茶葉資料表 WHERE 編號 = 'T02'")).toDouble(), 300.0);
}

void TeaKindTest::refreshReadsBoth()
{
    Screen s(3);
    s.clickRow(2);
    s.shop.exec(QStringLiteral("UPDATE 茶葉資料表 SET 名稱 = '改過' WHERE 編號 = 'T01'"));
    s.shop.tea(QStringLiteral("T04"), QStringLiteral("第四"), 1, 2, 3);
    s.click("cmdRefresh");
    QCOMPARE(s.shown(), QStringLiteral("T01"));
    QCOMPARE(s.box(1)->text(), QStringLiteral("改過"));
    QCOMPARE(s.grid()->model()->rowCount(), 4);
    QCOMPARE(s.gridCell(0, 1), QStringLiteral("改過"));
    QCOMPARE(s.gridCurrentNumber(), QStringLiteral("T01"));
    QVERIFY(s.messages().isEmpty());
}

void TeaKindTest::layoutRule()
{
    Screen s(3);
    auto* g = s.grid();
    const QRect buttonPlace = s.form->findChild<QPushButton*>(QStringLiteral("cmdRefresh"))->geometry();
    auto resizeTwips = [&](double w, double h) { s.form->resize(twips(w), twips(h)); };

    resizeTwips(7080, 5295);
    QCOMPARE(pixelsToTwips(g->height()), 2955.0);
    QCOMPARE(pixelsToTwips(g->width()), 7080.0);
    QCOMPARE(pixelsToTwips(g->y()), 1680.0);

    resizeTwips(12000, 9000);
    QCOMPARE(pixelsToTwips(g->height()), 9000.0 - 2340);
    QCOMPARE(pixelsToTwips(g->width()), 12000.0);

    // Too low for the grid: its height stays, its width still follows.
    resizeTwips(6000, 2325);
    QCOMPARE(pixelsToTwips(g->height()), 9000.0 - 2340);
    QCOMPARE(pixelsToTwips(g->width()), 6000.0);

    resizeTwips(6000, 2340);
    QCOMPARE(g->height(), 0);
    QCOMPARE(s.form->findChild<QPushButton*>(QStringLiteral("cmdRefresh"))->geometry(), buttonPlace);
    QVERIFY(s.messages().isEmpty());
}

void TeaKindTest::columnWidthsSurviveReread()
{
    Screen s(3);
    s.grid()->setColumnWidth(3, 123);
    QList<int> widths;
    for (int c = 0; c < 5; ++c)
        widths << s.grid()->columnWidth(c);
    QVERIFY(!widths.contains(0));
    s.click("cmdUpdate");
    s.click("cmdRefresh");
    for (int c = 0; c < 5; ++c)
        QCOMPARE(s.grid()->columnWidth(c), widths[c]);
}

void TeaKindTest::selectOnEntry_data()
{
    QTest::addColumn<int>("reason");
    QTest::addColumn<bool>("allSelectedBefore");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("pending");
    // Entering leaves the whole text selected, so typing replaces it.
    QTest::newRow("tab, nothing selected") << int(Qt::TabFocusReason) << false << "茶2" << false;
    QTest::newRow("mouse, nothing selected") << int(Qt::MouseFocusReason) << false << "茶2" << false;
    // Whatever is selected on entry is deleted.
    QTest::newRow("entered with all selected") << int(Qt::OtherFocusReason) << true << "" << true;
    // The focus coming back after a message box is no entry.
    QTest::newRow("window comes back") << int(Qt::ActiveWindowFocusReason) << true << "茶2" << false;
}

void TeaKindTest::selectOnEntry()
{
    QFETCH(int, reason);
    QFETCH(bool, allSelectedBefore);
    QFETCH(QString, text);
    QFETCH(bool, pending);
    Screen s(3);
    s.clickRow(1);
    BoundTextBox* box = s.box(1);
    box->deselect();
    if (allSelectedBefore)
        box->selectAll();
    QFocusEvent in(QEvent::FocusIn, Qt::FocusReason(reason));
    QApplication::sendEvent(box, &in);
    QCOMPARE(box->text(), text);
    QCOMPARE(box->selectedText(), text);
    QCOMPARE(s.primary()->hasPending(), pending);
}

void TeaKindTest::focusOrder()
{
    Screen s(2);
    QStringList order;
    QWidget* w = s.box(0);
    for (int i = 0; i < 10; ++i) {
        order << w->objectName();
        do
            w = w->nextInFocusChain();
        while (!(w->focusPolicy() & Qt::TabFocus) || w->objectName().isEmpty());
    }
    QCOMPARE(order, texts({"txtFields_0", "txtFields_1", "txtFields_2", "txtFields_3", "grdDataGrid", "cmdRefresh",
                           "cmdDelete", "cmdUpdate", "cmdAdd", "txtFields_0"}));
}

// However many busy pointers were stacked, closing the screen gives the arrow back.
void TeaKindTest::closingResetsPointer()
{
    Screen s(1);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QApplication::setOverrideCursor(Qt::BusyCursor);
    QVERIFY(s.form->close());
    QVERIFY(!QApplication::overrideCursor());
}

// The unit box follows the tea being edited; choosing another asks, then
// converts the tea's stock and prices, or tells why it cannot.
void TeaKindTest::unitChoiceChangesTheTea()
{
    Screen s(3);
    auto* cbo = s.form->findChild<QComboBox*>(QStringLiteral("cboUnit"));
    auto choose = [&](const QString& unit) {
        cbo->setCurrentText(unit);
        emit cbo->activated(cbo->currentIndex());
    };
    QCOMPARE(cbo->currentText(), QStringLiteral("公斤"));
    s.clickRow(2);
    QCOMPARE(s.shown(), QStringLiteral("T03"));
    s.prompts->queueAnswer(Answer::No);
    choose(QStringLiteral("兩"));
    QCOMPARE(s.messages(),
             QStringList{QStringLiteral("要把「茶3」的單位由公斤換成兩嗎？\r庫存、進價和訂價會一起換算。")});
    QCOMPARE(cbo->currentText(), QStringLiteral("公斤"));
    QCOMPARE(s.shop.stock(QStringLiteral("T03")), 3.0);

    s.prompts->queueAnswer(Answer::Yes);
    choose(QStringLiteral("兩"));
    QCOMPARE(cbo->currentText(), QStringLiteral("兩"));
    QCOMPARE(s.shop.stock(QStringLiteral("T03")), 80.0);
    QCOMPARE(s.box(2)->text(), QStringLiteral("11.25"));
    QCOMPARE(s.box(3)->text(), QStringLiteral("16.875"));
    QCOMPARE(s.gridCell(2, 4), QStringLiteral("80 兩"));
    QCOMPARE(s.gridCell(1, 4), QStringLiteral("2"));
    if (const QString dir = qEnvironmentVariable("LUMARO_SCREENSHOTS"); !dir.isEmpty())
        s.form->grab().save(QDir(dir).filePath(QStringLiteral("TeaKind_frm-unit.png")));

    s.clickRow(0);
    QCOMPARE(cbo->currentText(), QStringLiteral("公斤"));
    s.prompts->clear();
    s.prompts->queueAnswer(Answer::Yes);
    choose(QStringLiteral("台斤"));
    QCOMPARE(s.messages().size(), 2);
    QCOMPARE(s.messages()[1], QStringLiteral("庫存 1公斤 換算成台斤不是精確到 0.0001 的數，沒有換算單位。"));
    QCOMPARE(cbo->currentText(), QStringLiteral("公斤"));
    QCOMPARE(s.shop.stock(QStringLiteral("T01")), 1.0);
}

QTEST_MAIN(TeaKindTest)
#include "tst_teakind.moc"
