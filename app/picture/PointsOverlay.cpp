#include "PointsOverlay.h"

#include "CountedPixelsOverlay.h"

#include <QPainter>

#include <cmath>

namespace plotrun {

PointsOverlay::PointsOverlay(PictureView& view) : view_(view) { view_.addOverlay(this); }

void PointsOverlay::setResult(const std::vector<ResultRow>& rows, const ScanSettings& s, bool withSpread, QSize picture)
{
    points_.clear();
    points_.reserve(rows.size());
    // Real y units per bitmap pixel.
    const double scale = (s.RealRefY - s.RealOriginY) / (s.RefY - s.OriginY);
    for (const ResultRow& r : rows) {
        Point p{r.bitmapX, r.bitmapY, -1, r.runCount > 1};
        if (withSpread && std::isfinite(scale) && scale != 0)
            p.spread = std::fabs(r.sdev / scale);
        points_.push_back(p);
    }
    picture_ = picture;
    // The counted pixels' tint, so that both views read alike.
    colour_ = CountedPixelsOverlay::tintFor(s);
    colour_.setAlpha(255);
    view_.update();
}

void PointsOverlay::clear()
{
    points_.clear();
    view_.update();
}

void PointsOverlay::setShown(bool shown)
{
    shown_ = shown;
    view_.update();
}

QPointF PointsOverlay::viewPosition(const Point& p, const ScreenMap& map)
{
    if (map.empty())
        return {};
    // Bitmap x counts from the left edge; bitmap y = height - (mean row), and
    // a row's middle lies half a pixel below its top.
    return {map.viewX(p.x), map.viewY(map.pictureYOf(p.y) + 0.5)};
}

void PointsOverlay::paintOver(QPainter& painter, const ScreenMap& map) const
{
    if (!shown_ || points_.empty() || map.empty() || map.picture() != picture_)
        return;
    const double pixelHeight = map.viewY(1);
    painter.setRenderHint(QPainter::Antialiasing, true);
    // Each mark twice: a wide dark line under a thin bright one, seen on
    // paper and on ink alike.
    for (const auto& [pen, arm] :
         {std::pair{QPen(QColor(0, 0, 0, 200), 3.0), 4.5}, std::pair{QPen(colour_, 1.4), 4.0}}) {
        painter.setPen(pen);
        for (const Point& p : points_) {
            const QPointF c = viewPosition(p, map);
            painter.drawLine(c - QPointF(arm, arm), c + QPointF(arm, arm));
            painter.drawLine(c - QPointF(arm, -arm), c + QPointF(arm, -arm));
            if (p.spread > 0) {
                const double h = p.spread * pixelHeight;
                painter.drawLine(c - QPointF(0, h), c + QPointF(0, h));
                painter.drawLine(c + QPointF(-arm / 2, -h), c + QPointF(arm / 2, -h));
                painter.drawLine(c + QPointF(-arm / 2, h), c + QPointF(arm / 2, h));
            }
            // A ring: the strip held more than one run, and one was chosen.
            if (p.manyRuns)
                painter.drawEllipse(c, arm + 2.5, arm + 2.5);
        }
    }
}

} // namespace plotrun
