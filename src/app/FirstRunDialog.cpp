#include "app/FirstRunDialog.h"

#include "data/DataError.h"
#include "data/LegacyImport.h"
#include "platform/Geometry.h"
#include "platform/Prompts.h"

#include <QApplication>
#include <QButtonGroup>
#include <QDir>
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

    auto* intro = new QLabel(QStringLiteral("找不到資料檔「%1」。\n請設定開啟系統用的密碼（輸入兩次），程式會建立新的資料檔。")
                                 .arg(file),
                             this);
    intro->setWordWrap(true);

    password1 = new QLineEdit(this);
    password1->setObjectName(QStringLiteral("password1"));
    password1->setEchoMode(QLineEdit::Password);
    password2 = new QLineEdit(this);
    password2->setObjectName(QStringLiteral("password2"));
    password2->setEchoMode(QLineEdit::Password);

    message = new QLabel(this);
    message->setObjectName(QStringLiteral("message"));
    setTextColor(message, QColor(192, 0, 0));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("新密碼："), password1);
    form->addRow(QStringLiteral("再輸入一次："), password2);

    okButton = new QPushButton(QStringLiteral("建立"), this);
    okButton->setObjectName(QStringLiteral("okButton"));
    okButton->setDefault(true);
    cancelButton = new QPushButton(QStringLiteral("取消"), this);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    connect(okButton, &QPushButton::clicked, this, &FirstRunDialog::accept);
    connect(cancelButton, &QPushButton::clicked, this, &FirstRunDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    if (!m_legacyFile.isEmpty()) {
        intro->setText(QStringLiteral("找不到資料檔「%1」，但這裡有舊程式的資料檔「%2」。").arg(file, QDir::toNativeSeparators(m_legacyFile)));
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
        message->setWordWrap(true);  // an import's refusal can be a long sentence
    }
    layout->addLayout(form);
    if (progress)
        layout->addWidget(progress);
    layout->addWidget(message);
    layout->addLayout(buttons);
    choiceChanged();
    resize(420, sizeHint().height());
}

void FirstRunDialog::choiceChanged()
{
    const bool importing = importChoice && importChoice->isChecked();
    password1->setEnabled(!importing);
    password2->setEnabled(!importing);
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
    okButton->setEnabled(false);
    cancelButton->setEnabled(false);
    LegacyImportOptions options;
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

void FirstRunDialog::reject()
{
    if (!m_busy)
        QDialog::reject();
}

void FirstRunDialog::accept()
{
    if (importChoice && importChoice->isChecked()) {
        if (!runImport())
            return;
        m_imported = true;
        QDialog::accept();
        return;
    }
    if (password1->text() != password2->text()) {
        message->setText(QStringLiteral("兩次輸入的密碼不一樣，請重新輸入。"));
        password2->clear();
        password2->setFocus();
        return;
    }
    QDialog::accept();
}

} // namespace lumaro
