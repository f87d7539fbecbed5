#pragma once
// The calibration grid: lines at round real values drawn over the picture,
// with small labels. A wrong mark or a mistyped real value then shows at once
// as a grid that does not sit on the chart's own grid.

#include "ScanSettings.h"

#include <QColor>
#include <QLineF>
#include <QString>
#include <QWidget>

#include <vector>

namespace plotrun {

class PictureView;

class CalibrationGrid : public QWidget {
    Q_OBJECT

public:
    // Lies over the whole of `view` and follows its size, placing its lines
    // through the view's screen map; reads the calibration from `settings`
    // each time it draws, so it follows every change of the marks and the
    // real values. Hidden at the start.
    CalibrationGrid(PictureView& view, const ScanSettings& settings);

    // Real values are drawn only once an OK of the options dialog has
    // accepted every value.
    void setCalibrated(bool calibrated);
    bool calibrated() const { return calibrated_; }
    // The marks or the real values changed.
    void calibrationChanged() { update(); }

    // A line of the grid at the overlay's present size: its real value, its
    // position (x of a vertical line, y of a horizontal one) and its label.
    struct Line {
        double real = 0;
        int position = 0;
        QString label;
    };
    std::vector<Line> verticalLines() const;
    std::vector<Line> horizontalLines() const;
    // Where the chart's axes do not run along the picture (the vertical and
    // horizontal lines are then none): the lines of round real x (alongY)
    // and of round real y, each across the whole picture, in the view's own
    // coordinates.
    struct Segment {
        double real = 0;
        bool alongY = false;
        QLineF line;
        QString label;
    };
    std::vector<Segment> chartLines() const;

    static QColor lineColour() { return {200, 0, 140}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    const PictureView& view_;
    const ScanSettings& settings_;
    bool calibrated_ = false;
};

} // namespace plotrun
