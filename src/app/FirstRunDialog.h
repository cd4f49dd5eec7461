#pragma once

#include "books/Opening.h"

#include <QDialog>

class QCheckBox;
class QFormLayout;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QVBoxLayout;

namespace lumaro {

class Database;

// Asked once, when the shop file does not exist yet: the new shop's password,
// typed twice. When the old program's file (legacyFile) is at hand, it first offers
// to move that shop in instead; the file is then created by the import, with the
// old password, and the dialog only closes once the import has succeeded.
// It shows the full path of the file it will make, and the owner may pick
// another folder for it. The shop's name, address and phone, which receipts
// print, may be given here or left for 系統設定; they go into the new shop
// whether it is made or imported.
class FirstRunDialog : public QDialog {
    Q_OBJECT
public:
    explicit FirstRunDialog(const QString& file, QWidget* parent = nullptr, const QString& legacyFile = QString());

    QString password() const;
    // The opening cash and bank the owner typed (checked when accepted).
    OpeningBalances opening() const { return m_opening; }
    // The shop file to create (or to open, see existing()), as a full path.
    QString file() const { return m_file; }
    // The chosen folder already holds a shop file of that name: open it
    // instead of making a new one.
    bool existing() const { return m_existing; }
    // Puts the new file into folder (what the folder button does after asking).
    void setFolder(const QString& folder);
    // The shop file was made by importing legacyFile; nothing is left to create.
    bool imported() const { return m_imported; }
    // What the new shop starts with besides its password: the opening
    // balances, the shop's details and, when chosen, the sample teas. Run
    // inside the creating transaction, so a half-made shop never stays behind.
    void fillNewShop(Database& db) const;

    QLineEdit* password1 = nullptr;
    QLineEdit* password2 = nullptr;
    QLineEdit* openingCash = nullptr; // 期初現金: the float in the drawer
    QLineEdit* openingBank = nullptr; // 期初銀行存款
    QLineEdit* shopName = nullptr;    // 店名, 地址 and 電話, as 系統設定 keeps them
    QLineEdit* shopAddress = nullptr;
    QLineEdit* shopPhone = nullptr;
    QCheckBox* sampleTeas = nullptr; // 先放入範例茶葉和訂單
    QLabel* message = nullptr;
    QLabel* path = nullptr;              // the full path of the new file
    QPushButton* folderButton = nullptr; // 選擇其他資料夾…
    QPushButton* okButton = nullptr;
    QPushButton* cancelButton = nullptr;
    QRadioButton* importChoice = nullptr; // only with a legacy file
    QRadioButton* createChoice = nullptr;
    QProgressBar* progress = nullptr;

    void accept() override;
    void reject() override;

private:
    // The parts of the dialog, each made in the order of its tab stops.
    QHBoxLayout* makeFolderRow();
    QFormLayout* makeEntries();
    QHBoxLayout* makeButtons();
    void addLegacyChoice(QLabel* intro, QVBoxLayout* layout);
    void setTabOrderAndFocus();

    void choiceChanged();
    void storeDetails(Database& db) const;
    bool runImport();
    bool makeFolder();
    void chooseFolder();

    QString m_file;
    QString m_legacyFile;
    bool m_imported = false;
    bool m_existing = false;
    OpeningBalances m_opening;
    bool m_busy = false; // an import is running; the dialog cannot close under it
};

} // namespace lumaro
