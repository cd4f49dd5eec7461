#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace lumaro {

// Asked once, when the shop file does not exist yet: the new shop's password,
// typed twice.
class FirstRunDialog : public QDialog {
    Q_OBJECT
public:
    explicit FirstRunDialog(const QString& file, QWidget* parent = nullptr);

    QString password() const;

    QLineEdit* password1 = nullptr;
    QLineEdit* password2 = nullptr;
    QLabel* message = nullptr;
    QPushButton* okButton = nullptr;
    QPushButton* cancelButton = nullptr;

    void accept() override;
};

} // namespace lumaro
