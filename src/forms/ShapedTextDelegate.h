// Paints a grid's plain text cells from text shaped once and kept, rather
// than laid out again on every paint.
#pragma once

#include <QFont>
#include <QGlyphRun>
#include <QHash>
#include <QList>
#include <QString>
#include <QStyledItemDelegate>

namespace lumaro {

// A list repaints every cell in sight whenever it scrolls, a row is chosen
// or a page comes in, and Qt's own delegate lays each cell's text out
// several times per paint. This one shapes each text once, keeps it, and
// draws it where Qt would, in the same colours, with the same selection and
// background. A cell it could not draw the same way is left to Qt's
// delegate: a check box, an icon, a text too long for its cell (elided or
// wrapped), one with a line break or a tab, right-to-left text, the focused
// cell and one being edited.
class ShapedTextDelegate : public QStyledItemDelegate {
public:
    explicit ShapedTextDelegate(QObject* parent = nullptr);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    // Texts shaped in m_font; a list's texts repeat (names, dates, methods),
    // and the cache starts again past a bound, so a long scroll cannot grow it.
    struct Shaped {
        QList<QGlyphRun> runs; // one per font the text needs
        qreal width = 0;
        int height = 0; // of its line, which a glyph from a fallback font can make taller
    };
    mutable QHash<QString, Shaped> m_shaped;
    mutable QFont m_font;
};

} // namespace lumaro
