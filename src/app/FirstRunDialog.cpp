#include "app/FirstRunDialog.h"

#include "platform/Geometry.h"
#include "platform/Prompts.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace lumaro {

FirstRunDialog::FirstRunDialog(const QString& file, QWidget* parent) : QDialog(parent)
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
    layout->addLayout(form);
    layout->addWidget(message);
    layout->addLayout(buttons);
    resize(420, sizeHint().height());
}

QString FirstRunDialog::password() const { return password1->text(); }

void FirstRunDialog::accept()
{
    if (password1->text() != password2->text()) {
        message->setText(QStringLiteral("兩次輸入的密碼不一樣，請重新輸入。"));
        password2->clear();
        password2->setFocus();
        return;
    }
    QDialog::accept();
}

} // namespace lumaro
