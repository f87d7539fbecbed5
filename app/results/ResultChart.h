#pragma once
// The chart view: one x-y point series, "XY", drawn on white without title
// or legend. An axis of real values that the calibration maps
// logarithmically is drawn logarithmic. With U(Y) among the output fields,
// each point carries an error bar from real y - U(Y) to real y + U(Y).

#include <QColor>
#include <QList>
#include <QPointF>
#include <QtCharts/QChartView>

class QAbstractAxis;
class QLineSeries;
class QLogValueAxis;
class QValueAxis;

#include "ChartMap.h"
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
// A logarithmic axis fitted to data from lo to hi, both above 0: a small
// margin in decades, widened to whole decades when no power of ten would
// fall inside (where the axis puts its labels); firstTick is the first power
// of ten on it, step the factor 10 between ticks.
AxisFit fitLogAxisRange(double lo, double hi);

// A series of the figure as the chart draws it: a line, or its markers as
// points, in its own colour, named in the legend.
struct ChartSeries {
    QString name;
    QColor colour;
    bool markers = false;
    QList<QPointF> points;
};

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
    // A column of real x or real y is drawn on a logarithmic axis where
    // `map` maps that axis logarithmically; its values at or below 0, which
    // such an axis cannot show, are left out.
    // With the figure's series, grid column 1 holds the series name and the
    // coordinates follow it; `rowSeries` gives each row's series, and
    // `series` their names, colours and kinds (the points are filled here).
    void showResult(const ResultGridModel& grid, const OutputFields& fields, const std::vector<double>& keptRealX,
                    const ChartMap& map, std::vector<ChartSeries> series = {},
                    const std::vector<int32_t>& rowSeries = {});
    // Points are kept in ascending order of x; the axes are linear unless
    // told otherwise, and every point must fit a logarithmic one.
    void setPoints(QList<QPointF> points, bool logBottom = false, bool logLeft = false);
    const QList<QPointF>& points() const { return points_; }

    // A point's error bar: real y from low to high at real x.
    struct ErrorBar {
        double x, low, high;
    };
    // Replaces the bars; setPoints and clearPoints take them away.
    void setErrorBars(QList<ErrorBar> bars);
    const QList<ErrorBar>& errorBars() const { return bars_; }

    struct AxisRange {
        double min, max;
    };
    AxisRange bottomRange() const;
    AxisRange leftRange() const;

    // The series as drawn: it takes the points only once the chart is seen.
    const QLineSeries& series() const { return *Series1; }
    // The figure's series as drawn, one each, with the legend; none without.
    const std::vector<QLineSeries*>& figureSeries() const { return figure_; }
    // The axes as drawn: linear (QValueAxis) or logarithmic (QLogValueAxis).
    const QAbstractAxis& bottomAxis() const { return *bottomShown_; }
    const QAbstractAxis& leftAxis() const { return *leftShown_; }

protected:
    void showEvent(QShowEvent* event) override;
    void drawForeground(QPainter* painter, const QRectF& rect) override;

private:
    void showPoints();
    void setFigure(std::vector<ChartSeries> series, bool logBottom, bool logLeft);
    void clearFigure();
    void fitAxis(QAbstractAxis& axis, double lo, double hi);
    void useAxis(QAbstractAxis*& shown, QAbstractAxis* wanted, Qt::Alignment side);

    QLineSeries* Series1 = nullptr;
    QValueAxis* bottom_;
    QValueAxis* left_;
    QLogValueAxis* bottomLog_;
    QLogValueAxis* leftLog_;
    QAbstractAxis* bottomShown_;
    QAbstractAxis* leftShown_;
    QList<QPointF> points_;
    QList<ErrorBar> bars_;
    std::vector<QLineSeries*> figure_;
    bool seriesCurrent_ = true; // the series holds points_
};

} // namespace plotrun
