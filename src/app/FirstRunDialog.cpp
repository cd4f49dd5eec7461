#include "app/FirstRunDialog.h"

#include "books/Password.h"
#include "books/SampleShop.h"
#include "books/Settings.h"
#include "platform/Controls.h"
#include "platform/Failure.h"
#include "platform/Geometry.h"
#include "platform/Prompts.h"
#include "platform/QtTexts.h"
#include "upkeep/LegacyImport.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QProgressBar>
#include <QRadioButton>

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace lumaro {

FirstRunDialog::FirstRunDialog(const QString& file, QWidget* parent, const QString& legacyFile)
    : QDialog(parent), m_file(file), m_legacyFile(legacyFile)
{
    setObjectName(QStringLiteral("FirstRunDialog"));
    setWindowTitle(QStringLiteral("建立新的商店資料檔"));
    setBackground(this, lightYellow());

    auto* intro = new QLabel(
        QStringLiteral(
            "還沒有商店資料檔。請設定開啟系統用的密碼（輸入兩次）和開店時的現金與銀行存款，程式會建立新的資料檔："),
        this);
    intro->setWordWrap(true);
    // Made in this order, the widgets keep the tab order the owner knows.
    QHBoxLayout* where = makeFolderRow();
    QFormLayout* form = makeEntries();
    QHBoxLayout* buttons = makeButtons();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(where);
    if (!m_legacyFile.isEmpty())
        addLegacyChoice(intro, layout);
    layout->addLayout(form);
    if (progress)
        layout->addWidget(progress);
    layout->addWidget(message);
    layout->addLayout(buttons);
    choiceChanged();
    setFolder(QFileInfo(file).absolutePath());
    setTabOrderAndFocus();
    resize(520, sizeHint().height());
}

// The full path of the new file, and the button to put it elsewhere.
QHBoxLayout* FirstRunDialog::makeFolderRow()
{
    path = new QLabel(this);
    path->setObjectName(QStringLiteral("path"));
    path->setWordWrap(true);
    path->setTextInteractionFlags(Qt::TextSelectableByMouse);
    folderButton = controls::button(this, "folderButton", QStringLiteral("選擇其他資料夾…"));
    connect(folderButton, &QPushButton::clicked, this, &FirstRunDialog::chooseFolder);
    auto* where = new QHBoxLayout;
    where->addWidget(path, 1);
    where->addWidget(folderButton);
    return where;
}

// The password typed twice and the opening balances, with the message line
// made between them, where it falls in the tab order.
QFormLayout* FirstRunDialog::makeEntries()
{
    password1 = new QLineEdit(this);
    password1->setObjectName(QStringLiteral("password1"));
    password1->setEchoMode(QLineEdit::Password);
    password2 = new QLineEdit(this);
    password2->setObjectName(QStringLiteral("password2"));
    password2->setEchoMode(QLineEdit::Password);

    message = new QLabel(this);
    message->setObjectName(QStringLiteral("message"));
    setTextColor(message, QColor(192, 0, 0));
    message->setWordWrap(true);

    // A new shop starts with the money it really has, so the first purchase
    // or deposit does not run into 現金不足.
    openingCash = new QLineEdit(QStringLiteral("0"), this);
    openingCash->setObjectName(QStringLiteral("openingCash"));
    openingBank = new QLineEdit(QStringLiteral("0"), this);
    openingBank->setObjectName(QStringLiteral("openingBank"));

    // Receipts print these; each may stay empty until 系統設定.
    const auto detail = [this](const char* name) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QLatin1String(name));
        return e;
    };
    shopName = detail("shopName");
    shopAddress = detail("shopAddress");
    shopPhone = detail("shopPhone");
    // Off unless asked: a real shop would have to delete made-up teas, their
    // stock and three customers' open orders before its first sale.
    sampleTeas = new QCheckBox(QStringLiteral("先放入範例茶葉和訂單（試用程式時方便，之後可刪除）"), this);
    sampleTeas->setObjectName(QStringLiteral("sampleTeas"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("新密碼："), password1);
    form->addRow(QStringLiteral("再輸入一次："), password2);
    form->addRow(QStringLiteral("期初現金："), openingCash);
    form->addRow(QStringLiteral("期初銀行存款："), openingBank);
    form->addRow(QStringLiteral("店名："), shopName);
    form->addRow(QStringLiteral("地址："), shopAddress);
    form->addRow(QStringLiteral("電話："), shopPhone);
    form->addRow(QString(), sampleTeas);
    return form;
}

QHBoxLayout* FirstRunDialog::makeButtons()
{
    okButton = controls::button(this, "okButton", QStringLiteral("建立"));
    okButton->setDefault(true);
    cancelButton = controls::button(this, "cancelButton", QStringLiteral("取消"));
    connect(okButton, &QPushButton::clicked, this, &FirstRunDialog::accept);
    connect(cancelButton, &QPushButton::clicked, this, &FirstRunDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    return buttons;
}

// With the old program's file at hand: the choice between moving that shop in
// (the default) and making a new one, and the progress of the import.
void FirstRunDialog::addLegacyChoice(QLabel* intro, QVBoxLayout* layout)
{
    intro->setText(QStringLiteral("還沒有商店資料檔，但這裡有舊程式的資料檔「%1」。新的資料檔會建立在：")
                       .arg(QDir::toNativeSeparators(m_legacyFile)));
    importChoice = new QRadioButton(QStringLiteral("匯入舊程式的資料（沿用原來的密碼）"), this);
    importChoice->setObjectName(QStringLiteral("importChoice"));
    createChoice = new QRadioButton(QStringLiteral("建立新的商店，設定新密碼（輸入兩次）："), this);
    createChoice->setObjectName(QStringLiteral("createChoice"));
    auto* group = new QButtonGroup(this);
    group->addButton(importChoice);
    group->addButton(createChoice);
    importChoice->setChecked(true);
    connect(importChoice, &QRadioButton::toggled, this, &FirstRunDialog::choiceChanged);
    layout->addWidget(importChoice);
    layout->addWidget(createChoice);
    progress = new QProgressBar(this);
    progress->setObjectName(QStringLiteral("progress"));
    progress->setRange(0, 100);
    progress->setVisible(false);
    message->setWordWrap(true); // an import's refusal can be a long sentence
}

// The owner types the password first; the folder is a choice few make.
void FirstRunDialog::setTabOrderAndFocus()
{
    setTabOrder(password2, openingCash);
    setTabOrder(openingCash, openingBank);
    setTabOrder(openingBank, shopName);
    setTabOrder(shopName, shopAddress);
    setTabOrder(shopAddress, shopPhone);
    setTabOrder(shopPhone, sampleTeas);
    setTabOrder(sampleTeas, okButton);
    setTabOrder(okButton, cancelButton);
    setTabOrder(cancelButton, folderButton);
    if (importChoice)
        importChoice->setFocus();
    else
        password1->setFocus();
}

void FirstRunDialog::setFolder(const QString& folder)
{
    const QString name = QFileInfo(m_file).fileName();
    m_file = QDir::cleanPath(QDir(folder).absoluteFilePath(name));
    path->setText(QDir::toNativeSeparators(m_file));
    message->clear();
}

void FirstRunDialog::chooseFolder()
{
    // The nearest folder that exists, so the picker does not open somewhere else.
    QDir start = QFileInfo(m_file).absoluteDir();
    while (!start.exists() && start.cdUp()) {
    }
    const QString folder = askFolder(this, QStringLiteral("選擇存放資料檔的資料夾"), start.path());
    if (!folder.isEmpty())
        setFolder(folder);
}

// The standard data folder does not exist before the first shop is made.
bool FirstRunDialog::makeFolder()
{
    const QString folder = QFileInfo(m_file).absolutePath();
    if (QDir().mkpath(folder))
        return true;
    message->setText(QStringLiteral("無法建立資料夾「%1」：沒有寫入權限，或磁碟是唯讀的。請選擇其他資料夾。")
                         .arg(QDir::toNativeSeparators(folder)));
    return false;
}

void FirstRunDialog::choiceChanged()
{
    const bool importing = importChoice && importChoice->isChecked();
    password1->setEnabled(!importing);
    password2->setEnabled(!importing);
    // An imported shop brings its own balances.
    openingCash->setEnabled(!importing);
    openingBank->setEnabled(!importing);
    // An imported shop brings its own teas; the old file knows no shop name.
    sampleTeas->setEnabled(!importing);
    okButton->setText(importing ? QStringLiteral("匯入") : QStringLiteral("建立"));
    message->clear();
}

bool FirstRunDialog::runImport()
{
    message->clear();
    progress->setValue(0);
    progress->setVisible(true);
    importChoice->setEnabled(false);
    createChoice->setEnabled(false);
    folderButton->setEnabled(false);
    okButton->setEnabled(false);
    cancelButton->setEnabled(false);
    LegacyImportOptions options;
    options.fill = [this](Database& db) { storeDetails(db); };
    options.progress = [this](int percent, const QString& stage) {
        progress->setValue(percent);
        progress->setFormat(stage + QStringLiteral(" %p%"));
        // Keeps the bar moving; clicks wait until the import is over.
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    };
    QStringList warnings;
    QString failure;
    m_busy = true;
    try {
        warnings = importLegacyFile(m_legacyFile, m_file, options).warnings;
    } catch (const Failure& e) {
        failure = e.description();
    }
    m_busy = false;
    importChoice->setEnabled(true);
    createChoice->setEnabled(true);
    folderButton->setEnabled(true);
    okButton->setEnabled(true);
    cancelButton->setEnabled(true);
    if (!failure.isEmpty()) {
        progress->setVisible(false);
        message->setText(failure);
        return false;
    }
    if (!warnings.isEmpty())
        prompts().message(QStringLiteral("匯入完成。請注意：\r") + warnings.join(QLatin1Char('\r')), Buttons::Ok,
                          QStringLiteral("匯入舊資料"));
    return true;
}

QString FirstRunDialog::password() const { return password1->text(); }

void FirstRunDialog::storeDetails(Database& db) const
{
    // A detail left empty stays unset, reading as the default 系統設定 shows.
    const std::pair<const QString&, QLineEdit*> details[] = {{settings::key::ShopName, shopName},
                                                             {settings::key::ShopAddress, shopAddress},
                                                             {settings::key::ShopPhone, shopPhone}};
    for (const auto& [key, box] : details)
        if (const QString text = box->text().trimmed(); !text.isEmpty())
            settings::set(db, key, text);
}

void FirstRunDialog::fillNewShop(Database& db) const
{
    setOpeningBalances(db, m_opening);
    storeDetails(db);
    if (sampleTeas->isChecked())
        fillSampleShop(db);
}

void FirstRunDialog::reject()
{
    if (!m_busy)
        QDialog::reject();
}

void FirstRunDialog::accept()
{
    if (!makeFolder())
        return;
    if (QFileInfo::exists(m_file)) {
        m_existing = true;
        QDialog::accept();
        return;
    }
    if (importChoice && importChoice->isChecked()) {
        if (!runImport())
            return;
        m_imported = true;
        QDialog::accept();
        return;
    }
    if (!isAcceptableNewPassword(password1->text())) {
        message->setText(emptyPasswordText());
        password1->setFocus();
        return;
    }
    if (password1->text() != password2->text()) {
        message->setText(QStringLiteral("兩次輸入的密碼不一樣，請重新輸入。"));
        password2->clear();
        password2->setFocus();
        return;
    }
    QString why;
    const std::optional<Money> cash = readOpeningAmount(openingCash->text(), &why);
    if (!cash) {
        message->setText(QStringLiteral("期初現金：") + why);
        openingCash->setFocus();
        openingCash->selectAll();
        return;
    }
    const std::optional<Money> bank = readOpeningAmount(openingBank->text(), &why);
    if (!bank) {
        message->setText(QStringLiteral("期初銀行存款：") + why);
        openingBank->setFocus();
        openingBank->selectAll();
        return;
    }
    m_opening = OpeningBalances{*cash, *bank};
    QDialog::accept();
}

} // namespace lumaro
