#pragma once
// View > Straightened: the picture resampled into the chart's frame, so that
// a rotated, skewed or photographed chart shows its axes along the rows and
// columns. The scan area is drawn there as the ordinary rectangle it is in
// the frame, and a drag there chooses a new one. It is a view only: the scan
// still reads the picture's own pixels.

#include "ScanSettings.h"

#include <QImage>
#include <QPoint>
#include <QRectF>
#include <QWidget>

#include <optional>

namespace plotrun {

class StraightenedView : public QWidget {
    Q_OBJECT

public:
    explicit StraightenedView(QWidget* parent = nullptr);

    // The picture and the settings whose calibration straightens it; a
    // kind along the picture, or a map that cannot be made, shows nothing.
    void straighten(const QImage& picture, const ScanSettings& settings);

    // The straightened picture: its pixel (i, j) shows the frame point
    // (frameLeft + i * step, frameTop - j * step).
    const QImage& straightened() const { return straightened_; }
    double frameLeft() const { return left_; }
    double frameTop() const { return top_; }
    double step() const { return step_; }
    // Where a frame point lies in this widget, and the way back.
    QPointF widgetPoint(double frameX, double frameY) const;
    QPointF framePoint(QPointF widgetPoint) const;

signals:
    // A rectangle dragged in the frame, as the area's two corners on the
    // picture (bitmap coordinates, x1 <= x2 and y1 <= y2).
    void areaChosen(double x1, double y1, double x2, double y2);
    // The window was closed.
    void hidden();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QRectF shownRect() const; // the image as drawn, fitted into the widget
    ScanSettings settings_;
    QImage straightened_;
    double left_ = 0, top_ = 0, step_ = 1;
    std::optional<QPoint> dragStart_;
    QPoint dragEnd_;
};

} // namespace plotrun
