#include "accounts/Money_frm.h"

#include "base/Numbers.h"
#include "books/MoneyMoves.h"
#include "data/DataControl.h"
#include "data/Schema.h"
#include "forms/BoundTextBox.h"
#include "forms/OwnerApproval.h"
#include "platform/Controls.h"
#include "platform/Geometry.h"
#include "platform/Handler.h"
#include "platform/Prompts.h"

#include <QFocusEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace lumaro {

namespace {

// The screen in twips, on a client area of 7635 by 6285; the controls'
// places are inside the frame. The cash box ends where the amount box begins,
// and that one where the bank box begins, so none hides another's edge.
constexpr double kStoredWidth = 7635;
constexpr double kStoredHeight = 6285;
constexpr TwipsRect kFrame1{120, 1320, Money_frm::kFrameWidth, Money_frm::kFrameHeight};
constexpr TwipsRect kCashCmd{2760, 120, 1095, 255};
constexpr TwipsRect kLabel1{840, 240, 720, 180};
constexpr TwipsRect kLabel2{5160, 240, 720, 180};
constexpr TwipsRect kCash{120, 480, 2160, 255};
constexpr TwipsRect kTempMoney{2280, 480, 2040, 255};
constexpr TwipsRect kBank{4320, 480, 2295, 255};
constexpr TwipsRect kBankCmd{2760, 840, 1095, 255};

const QColor kCashGreen(0, 128, 0);
const QColor kBankBlue(0, 0, 255);
const QColor kLabelRed(255, 0, 0);
const QColor kAmountBack(255, 224, 192);

} // namespace

Money_frm::Money_frm(Database& db, QWidget* parent) : Form(QStringLiteral("帳款管理"), parent), m_db(db)
{
    setObjectName(QStringLiteral("Money_frm"));
    resize(twips(kStoredWidth), twips(kStoredHeight));

    Data1 = new DataControl(db, this);
    Data1->setObjectName(QStringLiteral("Data1"));
    Data1->setRecordSource(money::accountRowSource());

    buildFrame();
    placeControls();

    // Tab order: the amount, then the two moves.
    setTabOrder(temp_money, bank_cmd);
    setTabOrder(bank_cmd, cash_cmd);

    connect(bank_cmd, &QPushButton::clicked, this, handler([this] { bank_cmd_Click(); }));
    connect(cash_cmd, &QPushButton::clicked, this, handler([this] { cash_cmd_Click(); }));

    // The screen opens on the stored balances; a failure leaves the boxes
    // empty and is told, and the next activation tries again.
    runHandler([this] { Data1->refresh(); });
}

void Money_frm::buildFrame()
{
    Frame1 = new QFrame(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setFrameShape(QFrame::Box);
    Frame1->setFrameShadow(QFrame::Sunken);
    setBackground(Frame1, lightYellow());
    QFont small = Frame1->font();
    small.setPixelSize(12);
    Frame1->setFont(small);

    auto makeLabel = [this](const QString& name, const QString& caption) {
        auto* l = new QLabel(caption, Frame1);
        l->setObjectName(name);
        l->setAlignment(Qt::AlignCenter);
        setBackground(l, lightYellow());
        setTextColor(l, kLabelRed);
        return l;
    };
    Label1 = makeLabel(QStringLiteral("Label1"), QStringLiteral("店內現金"));
    Label2 = makeLabel(QStringLiteral("Label2"), QStringLiteral("銀行存款"));

    auto makeBalance = [this](const QString& name, const QString& column, const QColor& colour) {
        auto* box = new BoundTextBox(Frame1);
        box->setObjectName(name);
        box->setReadOnly(true);
        box->setFocusPolicy(Qt::NoFocus);
        setBackground(box, lightYellow());
        setTextColor(box, colour);
        box->bind(Data1, column);
        return box;
    };
    cash = makeBalance(QStringLiteral("cash"), schema::account::Cash, kCashGreen);
    bank = makeBalance(QStringLiteral("bank"), schema::account::Bank, kBankBlue);

    temp_money = new QLineEdit(Frame1);
    temp_money->setObjectName(QStringLiteral("temp_money"));
    setBackground(temp_money, kAmountBack);
    setTextColor(temp_money, Qt::black);
    temp_money->installEventFilter(this);

    cash_cmd = controls::button(Frame1, "cash_cmd", QStringLiteral("提出現金"));
    bank_cmd = controls::button(Frame1, "bank_cmd", QStringLiteral("存入銀行"));
}

void Money_frm::placeControls()
{
    placeTwips(cash_cmd, kCashCmd);
    placeTwips(Label1, kLabel1);
    placeTwips(Label2, kLabel2);
    placeTwips(cash, kCash);
    placeTwips(temp_money, kTempMoney);
    placeTwips(bank, kBank);
    placeTwips(bank_cmd, kBankCmd);
    placeTwips(Frame1, kFrame1);
}

QPointF Money_frm::framePosition(double formWidth, double formHeight)
{
    const float w = static_cast<float>(formWidth);
    const float h = static_cast<float>(formHeight);
    const float left = w / 2.0f - static_cast<float>(kFrameWidth) / 2.0f;
    const float top = h / 2.0f - static_cast<float>(kFrameHeight);
    return QPointF(left, top);
}

void Money_frm::Form_Activate() { Data1->refresh(); }

void Money_frm::Form_Resize()
{
    if (!Frame1)
        return;
    const QPointF p = framePosition(outerWidthTwips(), outerHeightTwips());
    placeTwips(Frame1, p.x(), p.y(), kFrameWidth, kFrameHeight);
}

void Money_frm::bank_cmd_Click() { moveMoney(true); }

void Money_frm::cash_cmd_Click() { moveMoney(false); }

void Money_frm::moveMoney(bool toBank)
{
    // However the move ends (done, refused or failed) the focus goes back to
    // the amount box, which selects the amount for the next move.
    struct Refocus {
        QLineEdit* box;
        ~Refocus() { box->setFocus(Qt::OtherFocusReason); }
    } refocus{temp_money};

    const double amount = readNumber(temp_money->text());
    if (amount < 0) {
        prompts().message(money::negativeAmountText(), Buttons::Ok, money::negativeAmountTitle());
        return;
    }
    const Money typed = money::typedAmount(amount, QStringLiteral("金額"));

    // First the balance the user sees; the move itself tests the stored one
    // again, which another terminal may have changed since this screen read it.
    const double shown = toNumberStrictOrFail((toBank ? cash : bank)->text());
    if (shown < amount) {
        if (toBank)
            prompts().message(money::cashShortText(), Buttons::Ok, money::cashShortTitle());
        else
            prompts().message(money::bankShortText(), Buttons::Ok, money::bankShortTitle());
        return;
    }

    try {
        withRight(m_db, people::Right::Transfer, [&] {
            if (toBank)
                money::deposit(m_db, typed);
            else
                money::withdraw(m_db, typed);
        });
    } catch (const MoveRefused& refused) {
        prompts().message(refused.description(), Buttons::Ok, refused.title());
    }
    // Show what is stored now: the move's result, or the balances that made
    // the stored test refuse it.
    Data1->refresh();
}

void Money_frm::temp_money_GotFocus() { selectOnEntry(temp_money); }

bool Money_frm::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == temp_money) {
        if (e->type() == QEvent::FocusOut) {
            auto* fe = static_cast<QFocusEvent*>(e);
            if (!isWindowFocusChange(fe->reason())) {
                // Read before the box drops its selection on losing the focus.
                m_keptSelectionStart = temp_money->selectionStart();
                m_keptSelectionLength = temp_money->selectedText().size();
            }
        } else if (e->type() == QEvent::FocusIn) {
            auto* fe = static_cast<QFocusEvent*>(e);
            if (!isWindowFocusChange(fe->reason())) {
                if (m_keptSelectionStart >= 0 &&
                    m_keptSelectionStart + m_keptSelectionLength <= temp_money->text().size())
                    temp_money->setSelection(m_keptSelectionStart, m_keptSelectionLength);
                m_keptSelectionStart = -1;
                runHandler([this] { temp_money_GotFocus(); });
            }
        }
    }
    return Form::eventFilter(watched, e);
}

} // namespace lumaro
