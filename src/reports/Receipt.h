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

// A window with the receipt of one order and the buttons to print it or save
// it as PDF. Deletes itself when closed.
class ReceiptWindow : public QWidget {
    Q_OBJECT
public:
    ReceiptWindow(Database& db, qlonglong order, QWidget* parent = nullptr);

    const reports::Receipt& receipt() const { return m_receipt; }

    void cmdPrint_Click();
    void cmdPdf_Click();

private:
    QTextBrowser* txtReceipt = nullptr;
    QPushButton* cmdPrint = nullptr;
    QPushButton* cmdPdf = nullptr;
    QPushButton* cmdClose = nullptr;

    reports::Receipt m_receipt;
};

// Opens the receipt window of a settled order.
ReceiptWindow* showReceipt(Database& db, qlonglong order, QWidget* parent = nullptr);

} // namespace lumaro
