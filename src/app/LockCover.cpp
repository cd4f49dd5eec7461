#include "app/LockCover.h"

#include "app/Logo.h"
#include "platform/Geometry.h"

#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QWidget>

namespace lumaro {

namespace {

// One page over one window: it follows the window's size and stays on top of
// whatever the window holds.
class CoverPage : public QWidget {
public:
    explicit CoverPage(QWidget* covered) : QWidget(covered)
    {
        setObjectName(QStringLiteral("lockCover"));
        setBackground(this, lightYellow());
        m_logo = new QLabel(this);
        m_logo->setObjectName(QStringLiteral("lockCoverLogo"));
        m_logo->setPixmap(makeLogo());
        m_logo->adjustSize();
        setBackground(m_logo, lightYellow());
        covered->installEventFilter(this);
        fit();
        show();
        raise();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // A child added to the window while the prompt is up would otherwise
        // be stacked over the page.
        if (watched == parentWidget() && (event->type() == QEvent::Resize || event->type() == QEvent::ChildAdded))
            fit();
        return QWidget::eventFilter(watched, event);
    }

private:
    void fit()
    {
        setGeometry(parentWidget()->rect());
        m_logo->move((width() - m_logo->width()) / 2, (height() - m_logo->height()) / 2);
        raise();
    }
    QLabel* m_logo = nullptr;
};

bool needsCover(const QWidget* w, const QWidget* mainWindow)
{
    if (!w->isVisible() || w == mainWindow)
        return false;
    // Menus and tool tips close by themselves once the prompt takes the input.
    const Qt::WindowType type = w->windowType();
    return type != Qt::Popup && type != Qt::ToolTip;
}

} // namespace

LockCover::LockCover(QWidget* mainArea)
{
    if (mainArea)
        m_pages << new CoverPage(mainArea);
    const QWidget* mainWindow = mainArea ? mainArea->window() : nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (needsCover(w, mainWindow))
            m_pages << new CoverPage(w);
}

LockCover::~LockCover()
{
    for (const QPointer<QWidget>& page : m_pages)
        delete page.data(); // a window closed meanwhile took its page with it
}

} // namespace lumaro
