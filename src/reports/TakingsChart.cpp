#include "reports/TakingsChart.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QValueAxis>

#include <algorithm>

namespace lumaro {

TakingsChart::TakingsChart(QWidget* parent) : QChartView(parent)
{
    setObjectName(QStringLiteral("chartTakings"));
    setRenderHint(QPainter::Antialiasing);
    setMinimumHeight(220);
}

void TakingsChart::setTakings(const QDate& last, const QList<Money>& perDay)
{
    auto* set = new QBarSet(QStringLiteral("營業額"));
    set->setColor(QColor(96, 140, 72)); // tea green
    QStringList days;
    QDate labelled;
    const qsizetype n = perDay.size();
    double top = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const double takings = perDay[i].toDouble();
        *set << takings;
        top = std::max(top, takings);
        const QDate d = last.addDays(i - n + 1);
        // Every label would crowd thirty bars: the first of each week and the last
        // day, with the month only where it changes, so each fits under its bar.
        if (i % 7 == 0 || i == n - 1) {
            const bool month = i == 0 || i == n - 1 || d.month() != labelled.month();
            days << d.toString(month ? QStringLiteral("M/d") : QStringLiteral("d"));
            labelled = d;
        } else {
            days << QString(i, QLatin1Char(' '));
        }
    }
    auto* series = new QBarSeries;
    series->append(set);
    series->setBarWidth(0.8);

    auto* chart = new QChart;
    chart->addSeries(series);
    chart->setTitle(QStringLiteral("最近 %1 天的營業額").arg(n));
    chart->legend()->hide();
    chart->setBackgroundBrush(QColor(255, 255, 230));
    auto* x = new QBarCategoryAxis;
    x->append(days);
    chart->addAxis(x, Qt::AlignBottom);
    series->attachAxis(x);
    auto* y = new QValueAxis;
    // Round steps (0, 5000, 10000, …), not fifths of the best day, and at
    // least 10 high, so days without takings still step by whole numbers.
    y->setRange(0, std::max(top * 1.1, 10.0));
    y->applyNiceNumbers();
    y->setLabelFormat(QStringLiteral("%.0f"));
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(y);

    QChart* old = this->chart();
    setChart(chart);
    delete old;
}

} // namespace lumaro
