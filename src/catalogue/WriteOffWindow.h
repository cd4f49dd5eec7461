#pragma once

#include "books/StockCount.h"

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace lumaro {

class Database;

// 報廢: writes off a quantity of one tea with a reason (tea poured for
// tasting, gone damp, lost in repacking) and an optional note, after a
// question. The stock never goes below zero by it.
class WriteOffWindow : public QWidget {
    Q_OBJECT
public:
    // tea: the tea chosen first; empty for the first in the list.
    WriteOffWindow(Database& db, const QString& tea, QWidget* parent = nullptr);

    void cboTea_Change();
    void cmdWriteOff_Click();

signals:
    void writtenOff(const QString& tea);

private:
    const stock::BookStock* current() const;

    QComboBox* cboTea = nullptr;
    QLabel* lblStock = nullptr;
    QLineEdit* txtQuantity = nullptr;
    QLabel* lblUnit = nullptr;
    QComboBox* cboReason = nullptr;
    QLineEdit* txtNote = nullptr;
    QPushButton* cmdWriteOff = nullptr;
    QPushButton* cmdCancel = nullptr;

    Database& m_db;
    QList<stock::BookStock> m_teas;
};

// Opens the window over parent, on the tea given.
WriteOffWindow* showWriteOff(Database& db, const QString& tea, QWidget* parent);

} // namespace lumaro
