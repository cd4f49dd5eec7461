#pragma once

#include "base/Money.h"

#include <QChartView>
#include <QDate>
#include <QList>

namespace lumaro {

// A bar chart of the takings of consecutive days, one bar a day, ending on last.
class TakingsChart : public QChartView {
    Q_OBJECT
public:
    explicit TakingsChart(QWidget* parent = nullptr);
    void setTakings(const QDate& last, const QList<Money>& perDay);
};

} // namespace lumaro
