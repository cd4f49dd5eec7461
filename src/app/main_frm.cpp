#include "app/main_frm.h"

#include "app/Logo.h"
#include "books/Password.h"
#include "books/People.h"
#include "data/DataControl.h"
#include "data/DataError.h"
#include "data/Schema.h"
#include "platform/Geometry.h"
#include "platform/Handler.h"
#include "platform/Prompts.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMdiSubWindow>
#include <QScreen>
#include <QTimer>

namespace lumaro {

namespace {

// The logo picture, 329 by 209 pixels, in twips; once the window has its
// size the logo stands this far from its right and lower edges.
constexpr TwipsRect kLogo{0, 0, 4935, 3135};
constexpr double kLogoRightMargin = 500;
constexpr double kLogoBottomMargin = 1000;

} // namespace

main_frm::main_frm(Database& db, QWidget* parent) : Form(Prompts::programTitle(), parent)
{
    setObjectName(QStringLiteral("main_frm"));
    logo = new QLabel(this);
    logo->setObjectName(QStringLiteral("logo"));
    logo->setFrameShape(QFrame::NoFrame);
    logo->setPixmap(makeLogo());
    setBackground(logo, lightYellow());
    placeTwips(logo, kLogo);

    Pass_Data = new DataControl(db, this);
    Pass_Data->setObjectName(QStringLiteral("Pass_Data"));
    Pass_Data->setRecordSource(schema::PasswordTable);
}

void main_frm::Form_Load()
{
    QSize screen(1024, 768);
    if (const QScreen* s = QGuiApplication::primaryScreen())
        screen = s->size();
    const float formWidth = float(pixelsToTwips(screen.width())) * 3 / 4;
    const float formHeight = float(pixelsToTwips(screen.height())) * 3 / 4;
    QWidget* window = qobject_cast<QMdiSubWindow*>(parentWidget()) ? parentWidget() : this;
    window->resize(twips(formWidth), twips(formHeight));
    const float logoHeight = float(pixelsToTwips(logo->height()));
    const float logoWidth = float(pixelsToTwips(logo->width()));
    logo->move(twips(formWidth - logoWidth - kLogoRightMargin), twips(formHeight - logoHeight - kLogoBottomMargin));
}

void main_frm::Form_Activate()
{
    // Activation runs the prompt; once unlocked the screen stays hidden, so a
    // stray activation of a hidden lock screen asks nothing.
    // Asked once the window has finished showing (activation arrives while
    // the lock screen is still being maximised).
    QTimer::singleShot(0, this, [this] {
        if (!m_prompting && m_state == State::Locked && isVisible())
            runHandler([this] { Lock_Click(); });
    });
}

bool main_frm::Lock_Click()
{
    m_prompting = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{m_prompting};

    QString entered; // nothing entered yet: an empty text
    int shown = 0;
    std::optional<people::Person> who;
    for (;;) {
        bool matches = false;
        try {
            Pass_Data->refresh();
            if (Pass_Data->recordCount() == 0)
                throw DataError(noPasswordText());
            // A stored hash that would cost too much to verify is refused here.
            const QVariant stored = Pass_Data->field(0);
            // An empty entry is tried first; where the shop has noted that its
            // password is not empty, that costs no hash check.
            const bool hopeless = entered.isEmpty() && !emptyEntryMayOpen(Pass_Data->database(), stored);
            matches = !hopeless && passwordMatches(stored, entered);
            // The password typed tells who is working: the shop's own is its
            // owner's, and each person has one of their own.
            who = people::signingIn(Pass_Data->database(), entered, matches);
            matches = who.has_value();
        } catch (const DataError& e) {
            prompts().message(QStringLiteral("無法讀取系統密碼，程式無法開啟。\r%1").arg(e.description()), Buttons::Ok,
                              QStringLiteral("開啟系統"));
            m_state = State::Ended;
            prompts().endProgram();
            return false;
        }
        if (matches)
            break;
        if (shown >= 3) {
            prompts().message(QStringLiteral("密碼輸入錯誤"), Buttons::Ok, QStringLiteral("強制離開系統"));
            m_state = State::Ended;
            prompts().endProgram();
            return false;
        }
        entered = prompts().input(QStringLiteral("請輸入密碼以啟動系統"), QStringLiteral("開啟系統"));
        ++shown;
    }
    open(*who);
    return true;
}

bool main_frm::openAsOwner()
{
    // The shop's own password opens as the person who holds it.
    const std::optional<people::Person> owner = people::signingIn(Pass_Data->database(), QString(), true);
    if (!owner || owner->role != people::Role::Owner)
        return Lock_Click();
    open(*owner);
    return true;
}

void main_frm::open(const people::Person& who)
{
    m_state = State::Unlocked;
    people::signIn(Pass_Data->database(), who);
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) {
        // Restore first, so the main window's caption loses the lock
        // screen's title along with it.
        if (sub->isMaximized())
            sub->showNormal();
        sub->hide();
    }
    hide();
    emit unlocked();
}

} // namespace lumaro
