#pragma once
// The tools on the picture, wired together: the picture view in its zoom
// area, the marking tool, the loupe, the calibration grid, the coordinates
// in the status bar, the counted pixels, the points of the last scan and
// Pick from picture. It handles the commands of the marks, the scan area's
// removal, the zoom, the loupe and the views over the picture. The window
// keeps the document and hears from `marking()` what was placed or drawn.

#include "InkPicker.h"
#include "MarkSnap.h"
#include "MarkingTool.h"

#include "ColumnScan.h"
#include "ScanSettings.h"

#include <QObject>
#include <QSize>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QStatusBar;
class QWidget;

namespace plotrun {

class CalibrationGrid;
class CoordinatesLabel;
class CountedPixelsOverlay;
class Loupe;
class PictureView;
class PointsOverlay;
class FoundAxesOverlay;
struct FoundAxes;
class StraightenedView;
class ZoomArea;
struct Commands;
struct ViewFacts;

class PictureTools : public QObject {
    Q_OBJECT

public:
    // The picture view is made in `client` and the coordinates go to the
    // status bar. `settings` is the window's record, which the grid, the
    // coordinates and the counted pixels read; `thresholdBox` gives the
    // threshold as typed, which the next scan takes.
    PictureTools(QWidget& client, QStatusBar& statusBar, const ScanSettings& settings, const Commands& commands,
                 std::function<std::optional<int32_t>()> thresholdBox, QObject* parent);
    ~PictureTools() override;

    // A new picture: shown once `showPicture` is called, when it is large
    // enough to be marked.
    void setPicture(const QImage& picture);
    void showPicture();
    void hidePicture();

    // The marks are placed anew on the view's current size once a picture
    // was shown.
    void refit();
    // What the options dialog's OK took: the exact marks.
    void takeOptions(const ScanSettings& record);
    // Real values are shown only for a calibration accepted whole; the
    // coordinates shown follow at once.
    void setCalibrated(bool calibrated);
    // An undo or redo: the marks, the area and the lock as they were, with
    // the Scan settings already back.
    void restoreMarks(const MarkingTool::State& marks);
    // The calibration kind and the reference points of the settings, as the
    // marks show them.
    void takeCalibration();
    // The line crossing near a picture position, to snap a mark to.
    SnappedMark snap(double x, double y) const;
    void moveMarkTo(MarkingTool::Mode mode, double x, double y) { marking_->moveMarkTo(mode, x, y); }
    // The scan area's lock; the window makes a step of it.
    void setLocked(bool locked);
    // The Scan settings changed by a mark.
    void calibrationChanged();
    // The counted pixels follow the settings of the next scan, or the
    // settings as typed while the options dialog is open.
    void refreshCounted();
    void showTypedSettings(const ScanSettings& typed);

    // The points of a scan on the picture; none after a scan without numbers.
    void showPoints(const std::vector<ResultRow>& rows, const ScanSettings& settings, bool withSpread, QSize picture);
    void clearPoints();
    // Points on Picture turned on, as its command would.
    void showPointsView();
    // What Find Axes found, over the picture until the next picture.
    void showFoundAxes(const FoundAxes& found, QSize picture);
    const FoundAxesOverlay& foundAxes() const { return *foundAxes_; }

    // Pick from picture: the next click takes the ink against the paper
    // that `paper` gives then; `inkPicked` tells the colour.
    void startInkPick(std::function<uint32_t()> paper);
    // Add Series: the next click takes the ink as Pick from picture does,
    // against the record's paper, and its pixel as the Start point;
    // `seriesPicked` tells both. Cancelling lets the click go to the marks.
    void startSeriesPick();
    void cancelSeriesPick();
    bool pickingSeries() const { return pickingSeries_; }

    // The window hears from it what was placed or drawn.
    const MarkingTool& marking() const { return *marking_; }
    const CountedPixelsOverlay& countedPixels() const { return *counted_; }
    const PointsOverlay& pointsOnPicture() const { return *points_; }
    const ZoomArea& zoom() const { return *zoom_; }
    const StraightenedView& straightened() const { return *straightened_; }
    const Loupe& loupe() const { return *loupe_; }
    // The zoom, the mark mode and the views over the picture, as the actions show them.
    void addViewFacts(ViewFacts& facts) const;

    void tlbtnMarkOClick(QAction* sender);
    void btnRemoveScanClick();
    void CalibrationGridClick();
    void CountedPixelsClick();
    void PointsOnPictureClick();
    void StraightenedClick();

signals:
    void inkPicked(uint32_t ink);
    // The bitmap coordinates of the click, y upward, as a Start mark takes them.
    void seriesPicked(uint32_t ink, double x, double y);
    // The zoom, the mark mode or a view over the picture changed.
    void viewsChanged();

private:
    void connectMouse();
    void connectCommands();
    void showCountedFor(ScanSettings next);
    void restraighten(); // the straightened view follows the calibration while it is open
    bool pickInkUp();

    const ScanSettings& settings_;
    const Commands& commands_;
    std::function<std::optional<int32_t>()> thresholdBox_;
    std::function<uint32_t()> paper_;
    PictureView* Image = nullptr;
    ZoomArea* zoom_ = nullptr;
    MarkingTool* marking_ = nullptr;
    CountedPixelsOverlay* counted_ = nullptr;
    std::unique_ptr<PointsOverlay> points_;
    std::unique_ptr<FoundAxesOverlay> foundAxes_;
    StraightenedView* straightened_ = nullptr;
    CalibrationGrid* calibrationGrid_ = nullptr;
    CoordinatesLabel* coordinates_ = nullptr;
    Loupe* loupe_ = nullptr;
    InkPicker picker_;
    bool shown_ = false; // a picture was shown: marking and zoom work
    bool pickingSeries_ = false;
};

} // namespace plotrun
