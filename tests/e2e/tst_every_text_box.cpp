// Every text box of every screen takes quotes, percent signs, backslashes,
// 10,000 characters and emoji: a text column stores exactly what was typed; a
// number column refuses it, says why, and the stored row is as it was.
#include "app/MDI_frm.h"
#include "data/DataControl.h"
#include "forms/BoundTextBox.h"
#include "platform/Failure.h"
#include "support/TestShop.h"

#include <QAction>
#include <QPushButton>
#include <QtTest>

using namespace lumaro;
using namespace lumaro::test;

class EveryTextBox : public QObject {
    Q_OBJECT

private slots:
    void storedExactlyOrRefused_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("quotes") << QStringLiteral("O'Brien \"特級\" '';--");
        QTest::newRow("percent") << QStringLiteral("100% %s %d %1 _");
        QTest::newRow("backslashes") << QStringLiteral("C:\\茶\\n\\\\ \\'");
        QTest::newRow("emoji") << QStringLiteral("🍵👍🏽𠮷 好茶");
        QTest::newRow("ten thousand") << QString(10000, QChar(0x6F22));
    }
    void storedExactlyOrRefused()
    {
        QFETCH(QString, text);
        // The boxes the user can type into, per screen, and what each must do
        // with text. 茶頁庫存管理 only shows its tea, 帳款管理 only its balances.
        const QMap<QString, QStringList> exact = {
            {QStringLiteral("EditTea"), {QStringLiteral("編號"), QStringLiteral("名稱")}},
            {QStringLiteral("EditOrder"), {QStringLiteral("客戶名稱"), QStringLiteral("連絡方式")}},
        };
        const QMap<QString, QStringList> refusing = {
            {QStringLiteral("EditTea"), {QStringLiteral("進價"), QStringLiteral("訂價")}},
        };
        for (const char* menu : {"EditTea", "StoreTea", "EditOrder", "EditMoney"}) {
            TestShop shop;
            shop.balances(100, 200);
            shop.tea(QStringLiteral("T001"), QStringLiteral("凍頂烏龍茶"), 1200, 1800, 25);
            shop.line(shop.order(QStringLiteral("王小明"), QStringLiteral("0912")), QStringLiteral("T001"), 1);
            PromptScope prompts;
            MDI_frm mdi(shop.db());
            mdi.show();
            mdi.findChild<QAction*>(QLatin1String(menu))->trigger();

            QStringList stored, refused;
            for (BoundTextBox* box : mdi.findChildren<BoundTextBox*>()) {
                if (box->isReadOnly() || !box->isEnabled() || !box->isVisible() || !box->dataControl() ||
                    !box->dataControl()->hasCurrent())
                    continue;
                DataControl* control = box->dataControl();
                const QString column = box->dataField();
                const int row = control->currentRow();
                prompts->clear();
                box->setFocus();
                box->selectAll();
                box->insert(text); // as typed or pasted: the box carries it into the row
                // Stored the way the screen stores: its 更新 button where it has
                // one, else by the control when the row is left.
                QPushButton* save = box->window()->findChild<QPushButton*>(QStringLiteral("cmdUpdate"));
                if (save && save->isVisible())
                    save->click();
                else
                    try {
                        control->update();
                    } catch (const Failure& e) {
                        prompts->message(e.description());
                    }
                const QString what = QStringLiteral("%1 %2").arg(QLatin1String(menu), column);
                if (prompts->messages().isEmpty()) {
                    QVERIFY2(!control->hasPending(), qPrintable(what));
                    stored << column;
                    control->refresh();
                    QCOMPARE(control->value(row, control->columnIndex(column)).toString(), text);
                } else {
                    // Refused: said in words, and nothing half stored.
                    QVERIFY2(prompts->messages().first().text.contains(column), qPrintable(what));
                    refused << column;
                    control->cancelUpdate();
                    control->refresh();
                    QVERIFY2(control->value(row, control->columnIndex(column)).toString() != text, qPrintable(what));
                }
            }
            QCOMPARE(stored, exact.value(QLatin1String(menu)));
            QCOMPARE(refused, refusing.value(QLatin1String(menu)));
        }
    }
};

QTEST_MAIN(EveryTextBox)
#include "tst_every_text_box.moc"
