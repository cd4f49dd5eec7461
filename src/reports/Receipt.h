#pragma once

#include "books/Reports.h"

#include <QWidget>

class QPagedPaintDevice;
class QPushButton;
class QTextBrowser;

namespace lumaro {

class Database;

// The receipt of a settled order as the customer gets it: the shop's name,
// address and phone, the order, its lines as charged and the total.
QString receiptHtml(const reports::Receipt& r);
void printReceipt(const reports::Receipt& r, QPagedPaintDevice* device);
// Writes the receipt as a PDF file, whole or not at all; throws DataError.
void saveReceiptPdf(const reports::Receipt& r, const QString& path);

// Lays a slip's HTML out on a printer's or a PDF's page, in the receipt's
// font; and writes it as a PDF on the receipt roll's page, whole or not at
// all (throws DataError). The receipt and the return slip share them.
void printSlipHtml(const QString& html, QPagedPaintDevice* device);
void saveSlipPdf(const QString& html, const QString& title, const QString& path);

// A window with a slip (a receipt, a return slip) and the buttons to print it
// or save it as PDF. name is what the slip is called (收據, 退貨單), in its
// title, its file's name and the message once it is saved. Deletes itself
// when closed.
class SlipWindow : public QWidget {
    Q_OBJECT
public:
    // textName names the box that shows the slip.
    SlipWindow(const QString& objectName, const QString& textName, const QString& name, qlonglong order,
               const QString& html, QWidget* parent = nullptr);

    void cmdPrint_Click();
    void cmdPdf_Click();

private:
    QTextBrowser* txtSlip = nullptr;
    QPushButton* cmdPrint = nullptr;
    QPushButton* cmdPdf = nullptr;
    QPushButton* cmdClose = nullptr;

    QString m_name;
    qlonglong m_order = 0;
    QString m_html;
};

// The receipt of one order in a slip window.
class ReceiptWindow : public SlipWindow {
    Q_OBJECT
public:
    ReceiptWindow(Database& db, qlonglong order, QWidget* parent = nullptr);
    ReceiptWindow(const reports::Receipt& receipt, QWidget* parent);

    const reports::Receipt& receipt() const { return m_receipt; }

private:
    reports::Receipt m_receipt;
};

// Opens the receipt window of a settled order.
ReceiptWindow* showReceipt(Database& db, qlonglong order, QWidget* parent = nullptr);

} // namespace lumaro
