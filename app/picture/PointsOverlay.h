#pragma once
// The points of the last scan drawn on the picture at their bitmap
// coordinates: a small cross each, with bars of plus and minus SDEV when the
// spread was computed, so that a point pulled off its curve shows at once.

#include "PictureView.h"

#include "ColumnScan.h"
#include "ScanSettings.h"

#include <QColor>

#include <vector>

namespace plotrun {

class PointsOverlay : public PictureOverlay {
public:
    explicit PointsOverlay(PictureView& view);

    struct Point {
        double x = 0, y = 0;   // bitmap coordinates
        double spread = -1;    // SDEV in bitmap pixels; negative when not computed
        bool manyRuns = false; // curve following: the strip held more than one run
    };
    // The rows of a scan, with the settings it ran with, on a picture of the
    // given size: drawn only while the view shows a picture of that size.
    // SDEV is turned back into pixels by the y scale.
    void setResult(const std::vector<ResultRow>& rows, const ScanSettings& settings, bool withSpread, QSize picture);
    void clear();
    void setShown(bool shown);
    bool shown() const { return shown_; }
    const std::vector<Point>& points() const { return points_; }

    // Where a point lies in the view's coordinates.
    static QPointF viewPosition(const Point& point, const ScreenMap& map);

    void paintOver(QPainter& painter, const ScreenMap& map) const override;

private:
    PictureView& view_;
    std::vector<Point> points_;
    QSize picture_;
    QColor colour_;
    bool shown_ = false;
};

} // namespace plotrun
