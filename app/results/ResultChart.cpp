#include "ResultChart.h"

#include <QtCharts/QChart>
#include <QtCharts/QLineSeries>
#include <QPainter>
#include <QtCharts/QValueAxis>

#include <algorithm>

namespace plotrun {

ResultChart::ResultChart(QWidget* parent) : QChartView(parent), bottom_(new QValueAxis), left_(new QValueAxis)
{
    auto* chart = new QChart;
    chart->legend()->hide();
    chart->setBackgroundBrush(Qt::white);
    chart->setPlotAreaBackgroundBrush(Qt::white);
    chart->setPlotAreaBackgroundVisible(true);
    // Points only: a line series with an invisible line and a small square
    // marker draws a hundred thousand points without an item for each, where
    // a scatter series would make (and later delete) one item a point.
    Series1 = new QLineSeries;
    Series1->setName("XY");
    Series1->setObjectName("Series1");
    Series1->setPen(Qt::NoPen);
    // Red squares with a silver fill, large enough to be seen on a
    // high-resolution screen.
    constexpr int kMarker = 5;
    QImage marker(kMarker, kMarker, QImage::Format_ARGB32);
    marker.fill(QColor(192, 192, 192));
    QPainter outline(&marker);
    outline.setPen(Qt::red);
    outline.drawRect(0, 0, kMarker - 1, kMarker - 1);
    outline.end();
    Series1->setMarkerSize(kMarker);
    Series1->setLightMarker(marker);
    Series1->setPointsVisible(true);
    chart->addSeries(Series1);

    QFont titleFont("Arial");
    titleFont.setBold(true);
    for (QValueAxis* axis : {bottom_, left_}) {
        axis->setTitleFont(titleFont);
        axis->setLabelFormat("%g");
    }
    QPen dotted = left_->linePen();
    dotted.setStyle(Qt::DotLine);
    left_->setLinePen(dotted);
    chart->addAxis(bottom_, Qt::AlignBottom);
    chart->addAxis(left_, Qt::AlignLeft);
    Series1->attachAxis(bottom_);
    Series1->attachAxis(left_);
    setAxisTitles("X", "Y");
    setChart(chart);
    setRenderHint(QPainter::Antialiasing, false);
}

void ResultChart::setAxisTitles(const QString& bottom, const QString& left)
{
    bottom_->setTitleText(bottom);
    left_->setTitleText(left);
}

QString ResultChart::bottomTitle() const { return bottom_->titleText(); }
QString ResultChart::leftTitle() const { return left_->titleText(); }

void ResultChart::clearPoints()
{
    points_.clear();
    seriesCurrent_ = false;
    showPoints();
}

// Laying out a hundred thousand points costs a good part of a second, so the
// series takes them only when the chart is seen.
void ResultChart::showPoints()
{
    if (seriesCurrent_ || isHidden())
        return;
    Series1->replace(points_); // clear() would remove points one at a time
    seriesCurrent_ = true;
}

void ResultChart::showEvent(QShowEvent* event)
{
    showPoints();
    QChartView::showEvent(event);
}

void ResultChart::setPoints(QList<QPointF> points)
{
    std::stable_sort(points.begin(), points.end(), [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); });
    points_ = std::move(points);
    seriesCurrent_ = false;
    showPoints();
    if (points_.isEmpty())
        return;
    double x0 = points_.front().x(), x1 = points_.back().x();
    auto [lo, hi] = std::minmax_element(points_.begin(), points_.end(),
                                        [](const QPointF& a, const QPointF& b) { return a.y() < b.y(); });
    double y0 = lo->y(), y1 = hi->y();
    // A margin of a twentieth of the span keeps edge points inside.
    const auto widen = [](double& a, double& b) {
        const double m = a == b ? std::max(1.0, std::abs(a) * 0.05) : (b - a) * 0.05;
        a -= m;
        b += m;
    };
    widen(x0, x1);
    widen(y0, y1);
    bottom_->setRange(x0, x1);
    left_->setRange(y0, y1);
    bottom_->applyNiceNumbers();
    left_->applyNiceNumbers();
}

} // namespace plotrun
