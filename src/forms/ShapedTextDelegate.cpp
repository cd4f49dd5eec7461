#include "forms/ShapedTextDelegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QTextLayout>
#include <QtMath>

namespace lumaro {

namespace {

constexpr qsizetype kShapedTexts = 4096;

} // namespace

ShapedTextDelegate::ShapedTextDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

void ShapedTextDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    // A line break, a tab or text laid out right to left is Qt's to place.
    const bool plain =
        !(opt.features & (QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDecoration)) &&
        !(opt.state & (QStyle::State_HasFocus | QStyle::State_Editing)) && opt.direction == Qt::LeftToRight &&
        !opt.text.contains(QChar::LineSeparator) && !opt.text.contains(QLatin1Char('\n')) &&
        !opt.text.contains(QLatin1Char('\t'));
    if (!plain) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const QWidget* widget = opt.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const QRect textRect = opt.rect.adjusted(margin, 0, -margin, 0);

    const Shaped* shaped = nullptr;
    if (!opt.text.isEmpty()) {
        if (!(opt.font == m_font) || m_shaped.size() >= kShapedTexts) {
            m_shaped.clear();
            m_font = opt.font;
        }
        auto it = m_shaped.find(opt.text);
        if (it == m_shaped.end()) {
            QTextLayout layout(opt.text, m_font);
            layout.beginLayout();
            const QTextLine line = layout.createLine();
            layout.endLayout();
            it = m_shaped.insert(opt.text, Shaped{layout.glyphRuns(), line.naturalTextWidth(),
                                                  qCeil(line.ascent() + line.descent())});
        }
        shaped = &it.value();
        // Too long for its cell: Qt's delegate elides or wraps it. Text that
        // fits is one line either way.
        if (shaped->width > textRect.width()) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
    }

    painter->save();
    painter->setClipRect(opt.rect);
    // A plain cell has no panel: only a chosen one, one under the mouse or
    // one with a background of its own asks the style, which is slow to say
    // it has nothing to draw.
    if (opt.state & (QStyle::State_Selected | QStyle::State_MouseOver) || opt.backgroundBrush.style() != Qt::NoBrush)
        style->drawPrimitive(QStyle::PE_PanelItemViewItem, &opt, painter, widget);
    if (shaped) {
        QPalette::ColorGroup group = opt.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
        if (group == QPalette::Normal && !(opt.state & QStyle::State_Active))
            group = QPalette::Inactive;
        painter->setPen(
            opt.palette.color(group, opt.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
        painter->setFont(m_font);
        // Placed as Qt places a line of its own layout: across the cell's
        // text width, one line high, by the cell's alignment.
        const Qt::Alignment align = QStyle::visualAlignment(opt.direction, opt.displayAlignment);
        const QRect line = QStyle::alignedRect(opt.direction, align & Qt::AlignVertical_Mask,
                                               QSize(textRect.width(), shaped->height), textRect);
        qreal x = line.left();
        const qreal room = textRect.width() - shaped->width;
        if (align & Qt::AlignRight)
            x += room;
        else if (align & Qt::AlignHCenter)
            x += room / 2;
        for (const QGlyphRun& run : shaped->runs)
            painter->drawGlyphRun(QPointF(x, line.top()), run);
    }
    painter->restore();
}

} // namespace lumaro
