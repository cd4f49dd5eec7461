#include "app/Logo.h"

#include "platform/Geometry.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace lumaro {

namespace {

void drawLeaf(QPainter& p, QPointF base, double length, double angle, const QColor& colour)
{
    p.save();
    p.translate(base);
    p.rotate(angle);
    QPainterPath leaf;
    leaf.moveTo(0, 0);
    leaf.cubicTo(length * 0.3, -length * 0.35, length * 0.75, -length * 0.3, length, 0);
    leaf.cubicTo(length * 0.75, length * 0.3, length * 0.3, length * 0.35, 0, 0);
    p.setPen(QPen(colour.darker(140), 1.5));
    p.setBrush(colour);
    p.drawPath(leaf);
    p.setPen(QPen(colour.darker(170), 1));
    p.drawLine(QPointF(0, 0), QPointF(length * 0.9, 0));
    p.restore();
}

void drawCup(QPainter& p, const QRectF& r)
{
    // A tea bowl with steam.
    const QColor glaze(92, 128, 84);
    QPainterPath bowl;
    bowl.moveTo(r.left(), r.top() + r.height() * 0.35);
    bowl.lineTo(r.right(), r.top() + r.height() * 0.35);
    bowl.cubicTo(r.right(), r.bottom(), r.left(), r.bottom(), r.left(), r.top() + r.height() * 0.35);
    p.setPen(QPen(glaze.darker(150), 2));
    p.setBrush(glaze);
    p.drawPath(bowl);
    p.setBrush(QColor(180, 140, 60));
    p.drawEllipse(QRectF(r.left(), r.top() + r.height() * 0.27, r.width(), r.height() * 0.16));
    p.setPen(QPen(QColor(150, 150, 150, 160), 2.5, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 3; ++i) {
        const double x = r.left() + r.width() * (0.3 + 0.2 * i);
        QPainterPath steam;
        steam.moveTo(x, r.top() + r.height() * 0.22);
        steam.cubicTo(x - 10, r.top() + r.height() * 0.1, x + 10, r.top() + r.height() * 0.02, x,
                      r.top() - r.height() * 0.1);
        p.drawPath(steam);
    }
}

} // namespace

QPixmap makeLogo()
{
    QPixmap pm(329, 209);
    pm.fill(lightYellow());
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    QLinearGradient band(0, 0, 329, 0);
    band.setColorAt(0, QColor(120, 160, 90, 60));
    band.setColorAt(1, QColor(120, 160, 90, 0));
    p.fillRect(QRectF(0, 150, 329, 59), band);

    drawCup(p, QRectF(18, 58, 110, 90));
    drawLeaf(p, QPointF(100, 52), 52, -35, QColor(110, 170, 80));
    drawLeaf(p, QPointF(100, 52), 40, -80, QColor(80, 140, 60));

    QFont title(QStringLiteral("Noto Serif CJK TC"));
    title.setPixelSize(44);
    title.setBold(true);
    p.setFont(title);
    p.setPen(QColor(70, 100, 50));
    p.drawText(QRectF(140, 50, 185, 56), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Lumaro"));

    QFont sub(QStringLiteral("Noto Sans CJK TC"));
    sub.setPixelSize(22);
    p.setFont(sub);
    p.setPen(QColor(120, 80, 40));
    p.drawText(QRectF(140, 106, 185, 32), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("茶行管理系統"));

    p.setPen(QPen(QColor(120, 80, 40, 120), 1));
    p.drawRect(QRectF(0.5, 0.5, 328, 208));
    return pm;
}

QPixmap makeIcon(int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(lightYellow());
    p.setPen(QPen(QColor(120, 80, 40), size / 32.0));
    p.drawRoundedRect(QRectF(size * 0.03, size * 0.03, size * 0.94, size * 0.94), size * 0.18, size * 0.18);
    drawCup(p, QRectF(size * 0.18, size * 0.38, size * 0.64, size * 0.5));
    drawLeaf(p, QPointF(size * 0.62, size * 0.36), size * 0.3, -40, QColor(110, 170, 80));
    return pm;
}

} // namespace lumaro
