#include "ResultChart.h"

#include "ResultGridModel.h"

#include "../../dialogs/Notice.h"
#include "NumberText.h"
#include "Report.h"

#include <QtCharts/QChart>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QLogValueAxis>
#include <QPainter>
#include <QtCharts/QValueAxis>
#include <QGraphicsScene>

#include <algorithm>
#include <cmath>

namespace plotrun {

ResultChart::ResultChart(QWidget* parent)
    : QChartView(parent), bottom_(new QValueAxis), left_(new QValueAxis), bottomLog_(new QLogValueAxis(this)),
      leftLog_(new QLogValueAxis(this)), bottomShown_(bottom_), leftShown_(left_)
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
    // Decades labelled, with the 2 to 9 between them as minor ticks.
    for (QLogValueAxis* axis : {bottomLog_, leftLog_}) {
        axis->setTitleFont(titleFont);
        axis->setLabelFormat("%g");
        axis->setBase(10);
        axis->setMinorTickCount(8);
    }
    QPen dotted = left_->linePen();
    dotted.setStyle(Qt::DotLine);
    left_->setLinePen(dotted);
    leftLog_->setLinePen(dotted);
    chart->addAxis(bottom_, Qt::AlignBottom);
    chart->addAxis(left_, Qt::AlignLeft);
    Series1->attachAxis(bottom_);
    Series1->attachAxis(left_);
    setAxisTitles("X", "Y");
    QChart* made = this->chart(); // the view's own empty chart, which setChart keeps
    setChart(chart);
    delete made;
    setRenderHint(QPainter::Antialiasing, false);
}

void ResultChart::setAxisTitles(const QString& bottom, const QString& left)
{
    bottom_->setTitleText(bottom);
    bottomLog_->setTitleText(bottom);
    left_->setTitleText(left);
    leftLog_->setTitleText(left);
}

// The axis not shown stays with the view, which deletes it in the end.
void ResultChart::useAxis(QAbstractAxis*& shown, QAbstractAxis* wanted, Qt::Alignment side)
{
    if (shown == wanted)
        return;
    Series1->detachAxis(shown);
    chart()->removeAxis(shown);
    shown->setParent(this);
    chart()->addAxis(wanted, side);
    Series1->attachAxis(wanted);
    for (QLineSeries* s : figure_)
        s->attachAxis(wanted);
    shown = wanted;
}

QString ResultChart::bottomTitle() const { return bottom_->titleText(); }
QString ResultChart::leftTitle() const { return left_->titleText(); }

void ResultChart::clearPoints()
{
    clearFigure();
    points_.clear();
    bars_.clear();
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

void ResultChart::setPoints(QList<QPointF> points, bool logBottom, bool logLeft)
{
    std::stable_sort(points.begin(), points.end(), [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); });
    points_ = std::move(points);
    bars_.clear();
    seriesCurrent_ = false;
    // Nothing to fit: the axes go back to where they started.
    const bool empty = points_.isEmpty();
    useAxis(bottomShown_, logBottom && !empty ? static_cast<QAbstractAxis*>(bottomLog_) : bottom_, Qt::AlignBottom);
    useAxis(leftShown_, logLeft && !empty ? static_cast<QAbstractAxis*>(leftLog_) : left_, Qt::AlignLeft);
    showPoints();
    if (empty) {
        for (QValueAxis* axis : {bottom_, left_}) {
            axis->setTickType(QValueAxis::TicksFixed);
            axis->setRange(0, 1);
        }
        return;
    }
    auto [lo, hi] = std::minmax_element(points_.begin(), points_.end(),
                                        [](const QPointF& a, const QPointF& b) { return a.y() < b.y(); });
    fitAxis(*bottomShown_, points_.front().x(), points_.back().x());
    fitAxis(*leftShown_, lo->y(), hi->y());
}

AxisFit fitAxisRange(double lo, double hi)
{
    if (!(lo <= hi) || !std::isfinite(lo) || !std::isfinite(hi))
        return {0, 1, 0, 0.2};
    double span = hi - lo;
    if (span == 0 || !std::isfinite(span))
        span = lo == 0 ? 1.0 : std::abs(lo) * 0.1;
    // Ticks at steps of 1, 2 or 5 times a power of ten, about five of them.
    const double raw = span / 5;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    double step = 10 * power;
    for (double m : {1.0, 2.0, 5.0})
        if (m * power >= raw) {
            step = m * power;
            break;
        }
    // A margin of a fiftieth of the span keeps the edge points off the frame.
    const double margin = hi > lo ? (hi - lo) / 50 : span / 2;
    return {lo - margin, hi + margin, std::ceil((lo - margin) / step) * step, step};
}

AxisFit fitLogAxisRange(double lo, double hi)
{
    if (!(lo > 0 && lo <= hi) || !std::isfinite(lo) || !std::isfinite(hi))
        return {1, 10, 1, 10};
    const double a = std::log10(lo), b = std::log10(hi);
    const double margin = (b > a ? b - a : 1.0) / 50;
    double from = a - margin, to = b + margin;
    if (std::floor(to) < std::ceil(from)) {
        from = std::floor(a);
        to = std::max(std::ceil(b), from + 1);
    }
    return {std::pow(10.0, from), std::pow(10.0, to), std::pow(10.0, std::ceil(from)), 10};
}

void ResultChart::fitAxis(QAbstractAxis& axis, double lo, double hi)
{
    if (auto* log = qobject_cast<QLogValueAxis*>(&axis)) {
        const AxisFit fit = fitLogAxisRange(lo, hi);
        log->setRange(fit.min, fit.max);
        // A new range alone does not lay a logarithmic axis out anew (Qt
        // 6.4), and its labels would be cut to the width of the old ones; a
        // change of the label format does.
        const QString format = log->labelFormat();
        log->setLabelFormat(QString());
        log->setLabelFormat(format);
        return;
    }
    auto& linear = static_cast<QValueAxis&>(axis);
    const AxisFit fit = fitAxisRange(lo, hi);
    linear.setRange(fit.min, fit.max);
    linear.setTickType(QValueAxis::TicksDynamic);
    linear.setTickAnchor(fit.firstTick);
    linear.setTickInterval(fit.step);
}

namespace {
ResultChart::AxisRange rangeOf(const QAbstractAxis& axis)
{
    if (const auto* log = qobject_cast<const QLogValueAxis*>(&axis))
        return {log->min(), log->max()};
    const auto& linear = static_cast<const QValueAxis&>(axis);
    return {linear.min(), linear.max()};
}
} // namespace

ResultChart::AxisRange ResultChart::bottomRange() const { return rangeOf(*bottomShown_); }
ResultChart::AxisRange ResultChart::leftRange() const { return rangeOf(*leftShown_); }

void ResultChart::setErrorBars(QList<ErrorBar> bars)
{
    bars_ = std::move(bars);
    if (!bars_.isEmpty() && !points_.isEmpty()) {
        // The left axis widens to hold the bars; on a logarithmic axis an
        // end at or below 0 is not held, and its bar runs off the bottom.
        const bool logLeft = qobject_cast<const QLogValueAxis*>(leftShown_) != nullptr;
        double lo = points_.front().y(), hi = lo;
        for (const QPointF& pt : points_) {
            lo = std::min(lo, pt.y());
            hi = std::max(hi, pt.y());
        }
        for (const ErrorBar& b : bars_) {
            if (std::isfinite(b.high))
                hi = std::max(hi, b.high);
            if (std::isfinite(b.low) && (!logLeft || b.low > 0))
                lo = std::min(lo, b.low);
        }
        fitAxis(*leftShown_, lo, hi);
    }
    if (scene())
        scene()->update();
}

// The bars go over the chart, clipped to its plot area. On a logarithmic
// axis an end at or below 0 runs to the bottom of the plot area.
void ResultChart::drawForeground(QPainter* painter, const QRectF& rect)
{
    QChartView::drawForeground(painter, rect);
    if (bars_.isEmpty() || !seriesCurrent_)
        return;
    const QRectF area = chart()->mapRectToScene(chart()->plotArea());
    const bool logLeft = qobject_cast<const QLogValueAxis*>(leftShown_) != nullptr;
    painter->save();
    painter->setClipRect(area);
    painter->setPen(QPen(QColor(160, 0, 0), 1));
    const auto at = [this](double x, double y) { return chart()->mapToScene(chart()->mapToPosition({x, y}, Series1)); };
    constexpr double kCap = 2;
    for (const ErrorBar& b : bars_) {
        const QPointF high = at(b.x, b.high);
        const QPointF low = logLeft && !(b.low > 0) ? QPointF(high.x(), area.bottom()) : at(b.x, b.low);
        painter->drawLine(low, high);
        painter->drawLine(QPointF(high.x() - kCap, high.y()), QPointF(high.x() + kCap, high.y()));
        painter->drawLine(QPointF(low.x() - kCap, low.y()), QPointF(low.x() + kCap, low.y()));
    }
    painter->restore();
}

void ResultChart::showResult(const ResultGridModel& grid, const OutputFields& fields,
                             const std::vector<double>& keptRealX, const ChartMap& map, std::vector<ChartSeries> series,
                             const std::vector<int32_t>& rowSeries)
{
    const std::string sep = decimalSeparator();
    const int rows = grid.rowCount() + 1; // with the header row
    QList<QPointF> points;
    points.reserve(rows - 1);
    const bool pairs = fields.realCoordinates || fields.bitmapCoordinates;
    const int first = series.empty() ? 1 : 2; // after the series name
    if (pairs)
        setAxisTitles(QString::fromStdString(grid.cell(first, 0)), QString::fromStdString(grid.cell(first + 1, 0)));
    else
        setAxisTitles(QString::fromStdString(fields.name(Field::RealX)), QString::fromStdString(grid.cell(first, 0)));
    // Real x: the first column of real coordinates, or the kept real x.
    const bool logBottom = (fields.realCoordinates || !pairs) && map.logX();
    const bool logLeft = fields.realCoordinates && map.logY();
    // U(Y) is in real units: its bars go with the real coordinates alone,
    // and with the one series of a scan without a figure's series.
    const int32_t uyColumn = fields.realCoordinates && series.empty() ? layoutGrid(fields).columnOf(Field::Uy) : -1;
    QList<ErrorBar> bars;
    for (int n = 1; n < rows; ++n) {
        const std::optional<double> x =
            pairs ? readReal(grid.cell(first, n), sep) : std::optional<double>(keptRealX[size_t(n - 1)]);
        const std::optional<double> y = readReal(grid.cell(pairs ? first + 1 : first, n), sep);
        if (!x || !y) // an absent SDEV/Y leaves its point out
            continue;
        if ((logBottom && !(*x > 0)) || (logLeft && !(*y > 0)))
            continue;
        if (series.empty()) {
            points.append(QPointF(*x, *y));
            if (uyColumn > 0)
                if (const std::optional<double> u = readReal(grid.cell(uyColumn, n), sep))
                    bars.append({*x, *y - *u, *y + *u});
            continue;
        }
        const size_t at = size_t(n - 1);
        if (at < rowSeries.size() && rowSeries[at] >= 0 && size_t(rowSeries[at]) < series.size())
            series[size_t(rowSeries[at])].points.append(QPointF(*x, *y));
    }
    if (series.empty()) {
        setPoints(std::move(points), logBottom, logLeft);
        setErrorBars(std::move(bars));
    } else
        setFigure(std::move(series), logBottom, logLeft);
}

void ResultChart::clearFigure()
{
    for (QLineSeries* s : figure_) {
        chart()->removeSeries(s);
        delete s;
    }
    figure_.clear();
    Series1->setVisible(true);
    chart()->legend()->hide();
}

// The axes fit every series' points; the plain series stays empty.
void ResultChart::setFigure(std::vector<ChartSeries> series, bool logBottom, bool logLeft)
{
    QList<QPointF> all;
    for (const ChartSeries& s : series)
        all += s.points;
    setPoints(all, logBottom, logLeft);
    points_.clear();
    Series1->clear();
    Series1->setVisible(false);
    for (ChartSeries& s : series) {
        auto* line = new QLineSeries;
        line->setName(s.name);
        if (s.markers) {
            // A dot of the series' colour at each marker, drawn as the plain series' squares are.
            constexpr int kDot = 7;
            QImage dot(kDot, kDot, QImage::Format_ARGB32);
            dot.fill(Qt::transparent);
            QPainter paint(&dot);
            paint.setRenderHint(QPainter::Antialiasing);
            paint.setPen(QPen(s.colour.darker(150), 1));
            paint.setBrush(s.colour);
            paint.drawEllipse(QRectF(0.5, 0.5, kDot - 1, kDot - 1));
            paint.end();
            line->setPen(Qt::NoPen);
            line->setColor(s.colour);
            line->setMarkerSize(kDot);
            line->setLightMarker(dot);
            line->setPointsVisible(true);
        } else {
            line->setPen(QPen(s.colour, 1.5));
            std::stable_sort(s.points.begin(), s.points.end(),
                             [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); });
        }
        line->replace(s.points);
        chart()->addSeries(line);
        line->attachAxis(bottomShown_);
        line->attachAxis(leftShown_);
        figure_.push_back(line);
    }
    chart()->legend()->show();
    chart()->legend()->setAlignment(Qt::AlignBottom);
    for (QLegendMarker* m : chart()->legend()->markers(Series1))
        m->setVisible(false);
}

} // namespace plotrun
