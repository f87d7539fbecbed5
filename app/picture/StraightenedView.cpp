#include "StraightenedView.h"

#include "ChartMap.h"
#include "ChartScan.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace plotrun {

namespace {
// The straightened picture never holds more pixels than this.
constexpr double kMostPixels = 4'000'000;
} // namespace

StraightenedView::StraightenedView(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName("StraightenedView");
    setWindowTitle("Straightened");
    resize(640, 480);
    setCursor(Qt::CrossCursor);
}

void StraightenedView::straighten(const QImage& picture, const ScanSettings& settings)
{
    settings_ = settings;
    straightened_ = QImage();
    const ChartMap map(settings);
    const ChartFit* fit = map.fit();
    if (picture.isNull() || !fit || fit->problem != FitProblem::None) {
        update();
        return;
    }
    // The frame rectangle that the picture's corners span, each on the
    // marks' side of a perspective's horizon.
    const double w = picture.width(), h = picture.height();
    double x0 = HUGE_VAL, x1 = -HUGE_VAL, y0 = HUGE_VAL, y1 = -HUGE_VAL;
    for (const double x : {0.0, w})
        for (const double y : {0.0, h}) {
            if (!(fit->toFrame.weight(x, y) > 0)) {
                update();
                return;
            }
            const ChartPoint f = map.toFrame(x, y);
            x0 = std::min(x0, f.x);
            x1 = std::max(x1, f.x);
            y0 = std::min(y0, f.y);
            y1 = std::max(y1, f.y);
        }
    if (!std::isfinite(x0) || !std::isfinite(x1) || !std::isfinite(y0) || !std::isfinite(y1)) {
        update();
        return;
    }
    step_ = std::max(1.0, std::sqrt((x1 - x0) * (y1 - y0) / kMostPixels));
    left_ = x0;
    top_ = y1;
    const int columns = std::max(1, int(std::ceil((x1 - x0) / step_)));
    const int rows = std::max(1, int(std::ceil((y1 - y0) / step_)));
    QImage out(columns, rows, QImage::Format_RGB32);
    out.fill(Qt::white);
    const QImage source = picture.convertToFormat(QImage::Format_RGB32);
    for (int j = 0; j < rows; ++j) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(j));
        for (int i = 0; i < columns; ++i) {
            // Column c has bitmap x c; row r has bitmap y height - r.
            const ChartPoint p = map.fromFrame(left_ + i * step_, top_ - j * step_);
            const double c = std::round(p.x), r = h - std::round(p.y);
            if (c >= 0 && c < w && r >= 0 && r < h)
                line[i] = reinterpret_cast<const QRgb*>(source.constScanLine(int(r)))[int(c)];
        }
    }
    straightened_ = out;
    update();
}

QRectF StraightenedView::shownRect() const
{
    if (straightened_.isNull())
        return {};
    const QSizeF fitted = QSizeF(straightened_.size()).scaled(QSizeF(size()), Qt::KeepAspectRatio);
    return {QPointF((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted};
}

QPointF StraightenedView::widgetPoint(double frameX, double frameY) const
{
    const QRectF r = shownRect();
    if (r.isEmpty())
        return {};
    const double scale = r.width() / straightened_.width();
    return {r.left() + (frameX - left_) / step_ * scale, r.top() + (top_ - frameY) / step_ * scale};
}

QPointF StraightenedView::framePoint(QPointF at) const
{
    const QRectF r = shownRect();
    if (r.isEmpty())
        return {};
    const double scale = r.width() / straightened_.width();
    return {left_ + (at.x() - r.left()) / scale * step_, top_ - (at.y() - r.top()) / scale * step_};
}

void StraightenedView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    if (straightened_.isNull()) {
        p.drawText(rect(), Qt::AlignCenter, "The marks do not fix the chart's frame yet.");
        return;
    }
    p.drawImage(shownRect(), straightened_);
    p.setPen(QPen(Qt::blue, 1, Qt::DashLine));
    if (dragStart_) {
        p.drawRect(QRect(*dragStart_, dragEnd_).normalized());
        return;
    }
    // The area: in the frame an ordinary rectangle.
    const ScanSettings& s = settings_;
    if (s.ScanStartX < 0 || s.ScanEndX < 0)
        return;
    const FrameArea a = frameAreaOf(s, ChartMap(s));
    if (a.stop == ScanStop::None)
        p.drawRect(QRectF(widgetPoint(a.left, a.top), widgetPoint(a.right, a.bottom)));
}

void StraightenedView::hideEvent(QHideEvent* e)
{
    QWidget::hideEvent(e);
    emit hidden();
}

void StraightenedView::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton || straightened_.isNull())
        return;
    dragStart_ = dragEnd_ = e->position().toPoint();
}

void StraightenedView::mouseMoveEvent(QMouseEvent* e)
{
    if (!dragStart_)
        return;
    dragEnd_ = e->position().toPoint();
    update();
}

void StraightenedView::mouseReleaseEvent(QMouseEvent* e)
{
    if (!dragStart_ || e->button() != Qt::LeftButton)
        return;
    dragEnd_ = e->position().toPoint();
    const QPointF a = framePoint(*dragStart_), b = framePoint(dragEnd_);
    dragStart_.reset();
    update();
    if (std::fabs(a.x() - b.x()) < 1 || std::fabs(a.y() - b.y()) < 1)
        return;
    // The rectangle's corners on the picture: the frame rectangle that two
    // opposite corners span is the one dragged.
    const ChartMap map(settings_);
    const ChartPoint p = map.fromFrame(std::min(a.x(), b.x()), std::min(a.y(), b.y()));
    const ChartPoint q = map.fromFrame(std::max(a.x(), b.x()), std::max(a.y(), b.y()));
    if (p.x < q.x && p.y < q.y)
        emit areaChosen(p.x, p.y, q.x, q.y);
}

} // namespace plotrun
