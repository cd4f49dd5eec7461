#include "reports/Receipt.h"

#include "base/Numbers.h"
#include "data/DataError.h"
#include "platform/Controls.h"
#include "platform/Geometry.h"
#include "platform/Handler.h"
#include "platform/Prompts.h"

#include <QDir>
#include <QHBoxLayout>
#include <QPageLayout>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSaveFile>
#include <QTextBrowser>
#include <QTextDocument>
#include <QVBoxLayout>

namespace lumaro {

namespace {

QString esc(const QString& s) { return s.toHtmlEscaped(); }

} // namespace

void printSlipHtml(const QString& html, QPagedPaintDevice* device)
{
    QTextDocument doc;
    // A font whose ideographs are not shared with the Kangxi radicals: with a
    // shared glyph the PDF's text layer says ⼭ where the receipt shows 山, and
    // copying or searching the receipt finds nothing.
    QFont font;
    font.setFamilies(
        {QStringLiteral("AR PL UMing TW"), QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK TC")});
    font.setPointSizeF(9);
    doc.setDefaultFont(font);
    doc.setHtml(html);
    // Laid out on the page itself: left to print() the table's columns are
    // measured at another resolution than the text and the names wrap a
    // character a line. The device works at screen resolution, so the
    // font's points come out the size they say.
    doc.setPageSize(device->pageLayout().paintRectPixels(device->logicalDpiX()).size());
    doc.print(device);
}

QString receiptHtml(const reports::Receipt& r)
{
    QString h = QStringLiteral("<html><body>");
    h += QStringLiteral("<h2 align=\"center\">%1</h2>").arg(esc(r.shopName));
    if (!r.shopAddress.isEmpty())
        h += QStringLiteral("<p align=\"center\">%1</p>").arg(esc(r.shopAddress));
    if (!r.shopPhone.isEmpty())
        h += QStringLiteral("<p align=\"center\">電話：%1</p>").arg(esc(r.shopPhone));
    h += QStringLiteral("<h3 align=\"center\">收據</h3>");
    h += QStringLiteral("<p>訂單編號：%1<br>日期：%2<br>客戶：%3</p>")
             .arg(r.order)
             .arg(r.settled.toString(QStringLiteral("yyyy-MM-dd HH:mm")), esc(r.customer));
    h += QStringLiteral("<table width=\"100%\" cellspacing=\"0\" cellpadding=\"2\">"
                        "<tr><th align=\"left\" width=\"46%\">茶葉</th><th align=\"right\">公斤</th>"
                        "<th align=\"right\">單價</th><th align=\"right\">小計</th></tr>");
    for (const reports::SaleLine& l : r.lines)
        h += QStringLiteral("<tr><td>%1</td><td align=\"right\">%2</td><td align=\"right\">%3</td>"
                            "<td align=\"right\">%4</td></tr>")
                 .arg(esc(l.name),
                      l.unit.isEmpty() ? formatNumber(l.kg)
                                       : QString(formatNumber(l.kg) + QLatin1Char(' ') + esc(l.unit)),
                      l.price.toString(), l.subtotal.toString());
    h += QStringLiteral("</table><hr>");
    if (r.discount != Money())
        h += QStringLiteral("<p align=\"right\">小計：%1<br>折扣：-%2</p>")
                 .arg(r.gross.toString(), r.discount.toString());
    h += QStringLiteral("<p align=\"right\"><b>總計：%1</b></p>").arg(r.total.toString());
    QStringList paid;
    for (const reports::Paid& p : r.paid)
        paid << (r.paid.size() == 1 ? QStringLiteral("付款方式：%1").arg(esc(p.method))
                                    : QStringLiteral("%1：%2").arg(esc(p.method), p.amount.toString()));
    if (r.tendered)
        paid << QStringLiteral("實收現金：%1").arg(r.tendered->toString())
             << QStringLiteral("找零：%1").arg(r.change.toString());
    if (!paid.isEmpty())
        h += QStringLiteral("<p align=\"right\">%1</p>").arg(paid.join(QStringLiteral("<br>")));
    if (r.refunded != Money())
        h += QStringLiteral("<p align=\"right\">已退貨退款：%1（見退貨單）</p>").arg(r.refunded.toString());
    h += QStringLiteral("<p align=\"center\">謝謝惠顧</p></body></html>");
    return h;
}

void printReceipt(const reports::Receipt& r, QPagedPaintDevice* device) { printSlipHtml(receiptHtml(r), device); }

void saveReceiptPdf(const reports::Receipt& r, const QString& path)
{
    saveSlipPdf(receiptHtml(r), QStringLiteral("收據 %1").arg(r.order), path);
}

void saveSlipPdf(const QString& html, const QString& title, const QString& path)
{
    QSaveFile file(path);
    // A receipt names the customer: the owner's alone, as the shop file is,
    // before anything is written and whatever the umask.
    if (!file.open(QIODevice::WriteOnly) || !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        throw DataError(QStringLiteral("無法寫入檔案「%1」：%2").arg(path, file.errorString()));
    {
        QPdfWriter pdf(&file);
        pdf.setTitle(title);
        pdf.setCreator(Prompts::programTitle());
        pdf.setResolution(96);
        // A receipt roll is narrow; a long order simply runs onto more pages.
        pdf.setPageSize(QPageSize(QSizeF(80, 200), QPageSize::Millimeter, QStringLiteral("收據")));
        pdf.setPageMargins(QMarginsF(4, 4, 4, 4), QPageLayout::Millimeter);
        printSlipHtml(html, &pdf);
    }
    if (!file.commit())
        throw DataError(QStringLiteral("無法寫入檔案「%1」：%2").arg(path, file.errorString()));
}

SlipWindow::SlipWindow(const QString& objectName, const QString& textName, const QString& name, qlonglong order,
                       const QString& html, QWidget* parent)
    : QWidget(parent, Qt::Window), m_name(name), m_order(order), m_html(html)
{
    setObjectName(objectName);
    setWindowTitle(QStringLiteral("%1 - 訂單 %2").arg(name).arg(order));
    setAttribute(Qt::WA_DeleteOnClose);
    setBackground(this, lightYellow());

    txtSlip = new QTextBrowser(this);
    txtSlip->setObjectName(textName);
    txtSlip->setHtml(html);
    cmdPrint = controls::button(this, "cmdPrint", QStringLiteral("列印…"));
    cmdPdf = controls::button(this, "cmdPdf", QStringLiteral("存成 PDF…"));
    cmdClose = controls::button(this, "cmdClose", QStringLiteral("關閉"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdPrint);
    buttons->addWidget(cmdPdf);
    buttons->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(txtSlip);
    layout->addLayout(buttons);
    resize(380, 520);

    connect(cmdPrint, &QPushButton::clicked, this, handler([this] { cmdPrint_Click(); }));
    connect(cmdPdf, &QPushButton::clicked, this, handler([this] { cmdPdf_Click(); }));
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
}

void SlipWindow::cmdPrint_Click()
{
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setDocName(QStringLiteral("%1 %2").arg(m_name).arg(m_order));
    QPrintDialog dialog(&printer, this);
    dialog.setWindowTitle(QStringLiteral("列印") + m_name);
    if (dialog.exec() == QDialog::Accepted)
        printSlipHtml(m_html, &printer);
}

void SlipWindow::cmdPdf_Click()
{
    const QString suggested = QDir::home().filePath(QStringLiteral("%1-%2.pdf").arg(m_name).arg(m_order));
    const QString path = prompts().saveFile(QStringLiteral("存成 PDF"), suggested, QStringLiteral("PDF 檔 (*.pdf)"));
    if (path.isEmpty())
        return;
    saveSlipPdf(m_html, QStringLiteral("%1 %2").arg(m_name).arg(m_order), path);
    prompts().message(QStringLiteral("%1已存到「%2」。").arg(m_name, path));
}

ReceiptWindow::ReceiptWindow(Database& db, qlonglong order, QWidget* parent)
    : ReceiptWindow(reports::receipt(db, order), parent)
{
}

ReceiptWindow::ReceiptWindow(const reports::Receipt& receipt, QWidget* parent)
    : SlipWindow(QStringLiteral("ReceiptWindow"), QStringLiteral("txtReceipt"), QStringLiteral("收據"), receipt.order,
                 receiptHtml(receipt), parent),
      m_receipt(receipt)
{
}

ReceiptWindow* showReceipt(Database& db, qlonglong order, QWidget* parent)
{
    auto* w = new ReceiptWindow(db, order, parent);
    w->show();
    w->raise();
    w->activateWindow();
    return w;
}

} // namespace lumaro
