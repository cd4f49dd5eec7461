#pragma once

#include "platform/Form.h"

#include <QPointF>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace lumaro {

class Database;
class DataControl;
class BoundTextBox;

// 帳款管理: the shop's cash and bank balances, and moving an amount between
// them. The balances are re-read every time the screen becomes active, since
// purchases and checkouts on other screens change the cash.
class Money_frm : public Form {
    Q_OBJECT
public:
    explicit Money_frm(Database& db, QWidget* parent = nullptr);

    // The frame's size, in twips.
    static constexpr double kFrameWidth = 6855;
    static constexpr double kFrameHeight = 1215;
    // Where the frame goes on a form of the given outer size (twips): centred
    // across, its lower edge on the form's middle line. Single precision, and
    // a negative result on a small form is kept as it is.
    static QPointF framePosition(double formWidth, double formHeight);

    void bank_cmd_Click();
    void cash_cmd_Click();
    void temp_money_GotFocus();

protected:
    void Form_Activate() override;
    void Form_Resize() override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    DataControl* Data1 = nullptr;
    QFrame* Frame1 = nullptr;
    BoundTextBox* cash = nullptr;
    BoundTextBox* bank = nullptr;
    QLineEdit* temp_money = nullptr;
    QPushButton* cash_cmd = nullptr;
    QPushButton* bank_cmd = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;

    // The frame with the two balances, the amount and the two moves.
    void buildFrame();
    void placeControls();
    void moveMoney(bool toBank);

    Database& m_db;
    // A text box keeps its selection while the focus is elsewhere, so the
    // amount selected after a move is still selected (and is deleted) when the
    // focus comes back.
    int m_keptSelectionStart = -1;
    int m_keptSelectionLength = 0;
};

} // namespace lumaro
