#pragma once
// The live coordinates at the right of the status bar: the picture pixel
// under the mouse in bitmap coordinates, and once the calibration has been
// accepted, its real coordinates too.

#include "ScanSettings.h"

#include <QLabel>
#include <QPoint>

#include <optional>
#include <string>

namespace plotrun {

class MarkingTool;
class PictureView;

// A real value to the digits that one pixel resolves, where the next pixel
// lies `step` real units away: max(0, 1 - floor(log10 step)) decimals, so
// that a step of one pixel always shows, and no digit more. Beyond the
// fixed range of the output (decimal exponents below -4 or above 14) the
// exponent form, with as many significant digits. A step that is no finite
// number above 0 gives the output's 15 significant digits.
std::string pixelResolvedReal(double value, double step, const std::string& decimalSeparator);

class CoordinatesLabel : public QLabel {
    Q_OBJECT

public:
    // Follows the mouse over `view`, through the view's screen map and the
    // reach of `marking`'s mode; reads the calibration from `settings`.
    CoordinatesLabel(PictureView& view, const MarkingTool& marking, const ScanSettings& settings,
                     QWidget* parent = nullptr);

    // Real coordinates are shown only while the calibration in effect was
    // accepted whole by an OK of the options dialog (or is one that an undo
    // or redo brought back), and its marks still hold: each reference beyond
    // its origin.
    void setCalibrated(bool calibrated);
    // The marks or the real values changed: the position shown is shown anew.
    void calibrationChanged();

    // The picture pixel under a position of the view, in bitmap coordinates:
    // the one a click there marks, so that what is shown is what is taken.
    QPoint pixelAt(int x, int y) const;
    // Shows the pixel under a position of the view.
    void showPosition(int x, int y);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    PictureView& view_;
    const MarkingTool& marking_;
    const ScanSettings& settings_;
    bool calibrated_ = false;
    std::optional<QPoint> shown_; // the position of the view shown, while the mouse is over it
};

} // namespace plotrun
