#pragma once
// The chart view: one x-y point series, "XY", drawn on white without title
// or legend.

#include <QList>
#include <QPointF>
#include <QtCharts/QChartView>

class QLineSeries;
class QValueAxis;

#include "ScanSettings.h"

#include <vector>

namespace plotrun {

class ResultGridModel;

// An axis fitted to data from lo to hi: a small margin, and ticks at round
// values (1, 2 or 5 times a power of ten) from firstTick on.
struct AxisFit {
    double min, max, firstTick, step;
};
AxisFit fitAxisRange(double lo, double hi);

class ResultChart : public QChartView {
    Q_OBJECT

public:
    explicit ResultChart(QWidget* parent = nullptr);

    void setAxisTitles(const QString& bottom, const QString& left);
    QString bottomTitle() const;
    QString leftTitle() const;

    void clearPoints();
    // The points of a scan: grid columns 1 and 2, read back from their texts;
    // with neither coordinate pair included, column 1 against the kept real x.
    void showResult(const ResultGridModel& grid, const OutputFields& fields, const std::vector<double>& keptRealX);
    // Points are kept in ascending order of x.
    void setPoints(QList<QPointF> points);
    const QList<QPointF>& points() const { return points_; }

    struct AxisRange {
        double min, max;
    };
    AxisRange bottomRange() const;
    AxisRange leftRange() const;

    // The series as drawn: it takes the points only once the chart is seen.
    const QLineSeries& series() const { return *Series1; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showPoints();
    void fitAxis(QValueAxis& axis, double lo, double hi);

    QLineSeries* Series1 = nullptr;
    QValueAxis* bottom_;
    QValueAxis* left_;
    QList<QPointF> points_;
    bool seriesCurrent_ = true; // the series holds points_
};

} // namespace plotrun
