#include "data/Sql.h"

#include <QLocale>

namespace lumaro::sql {

QString fill(const Words& words, QStringView text, const QStringList& pieces)
{
    QString out;
    out.reserve(text.size() + text.size() / 2);
    qsizetype done = 0;
    for (qsizetype open = text.indexOf(u'{'); open >= 0; open = text.indexOf(u'{', done)) {
        const qsizetype close = text.indexOf(u'}', open);
        if (close < 0)
            break;
        out += text.mid(done, open - done);
        const QStringView word = text.mid(open + 1, close - open - 1);
        const QString* known = nullptr;
        if (word.size() == 1 && word[0] >= u'1' && word[0] <= u'9') {
            if (const qsizetype i = word[0].unicode() - u'1'; i < pieces.size())
                known = &pieces[i];
        } else if (const auto it = words.constFind(word.toString()); it != words.constEnd()) {
            known = &it.value();
        }
        out += known ? QStringView(*known) : text.mid(open, close - open + 1);
        done = close + 1;
    }
    out += text.mid(done);
    return out;
}

bool isPlainName(const QString& name)
{
    if (name.isEmpty() || name[0].isDigit())
        return false;
    for (const QChar c : name)
        if (!c.isLetterOrNumber() && c != u'_')
            return false;
    return true;
}

QString quoted(const QString& name)
{
    QString n = name;
    n.replace(u'"', QLatin1String("\"\""));
    return u'"' + n + u'"';
}

QString name(const QString& name) { return isPlainName(name) ? name : quoted(name); }

QString quotedList(const QStringList& names)
{
    QStringList out;
    out.reserve(names.size());
    for (const QString& n : names)
        out << quoted(n);
    return out.join(QLatin1String(", "));
}

QString marks(qsizetype n, const QString& separator)
{
    QStringList m;
    for (qsizetype i = 0; i < n; ++i)
        m << QStringLiteral("?");
    return m.join(separator);
}

QString literal(const QString& text)
{
    QString t = text;
    t.replace(u'\'', QLatin1String("''"));
    return u'\'' + t + u'\'';
}

QString number(double x)
{
    return QString::number(x, 'g', QLocale::FloatingPointShortest).replace(QLatin1String("e+"), QLatin1String("e"));
}

} // namespace lumaro::sql
