#pragma once
// Marking on the picture: the origin, X1 and Y1 marks, the scan area drawn
// with the mouse, and its lock. The tool keeps the exact positions, draws the
// shapes on the picture view through the view's screen map, and tells its
// owner what was placed or drawn; the owner keeps the Scan settings.

#include "ScanSettings.h"
#include "ScreenMap.h"

#include <QObject>
#include <QPoint>

#include <array>
#include <vector>

namespace plotrun {

class PictureView;

class MarkingTool : public QObject {
    Q_OBJECT

public:
    // StartMark: where curve following starts. CornerMark: the corner C of
    // the four-point calibration. PointMark: a click adds a further
    // reference point; the tool keeps no mark of its own for it.
    enum Mode : uint8_t {
        NoMark = 0,
        OriginMark = 1,
        X1Mark = 2,
        Y1Mark = 3,
        StartMark = 4,
        CornerMark = 5,
        PointMark = 6
    };

    static constexpr int kMarks = 5; // the modes that keep a mark: OriginMark to CornerMark

    explicit MarkingTool(PictureView& view, QObject* parent = nullptr);

    // Marking works only once a picture is accepted; the picture marked is
    // the view's.
    void setActive(bool active) { active_ = active; }

    // A mark button pressed (on) or released (off).
    void setMode(Mode mode, bool on);
    Mode mode() const { return mode_; }
    bool placingMark() const { return placing_; }
    bool dragging() const { return dragging_; }
    bool hasArea() const { return !noScanArea_; }
    bool locked() const { return locked_; }
    void setLocked(bool locked) { locked_ = locked; }

    // A key on the picture: arrows move the current mark, or the chosen corner
    // of the scan area, by one picture pixel (ten with Shift); C chooses the
    // next corner; Escape leaves the mode or the corner. False when unused.
    bool keyPress(int key, Qt::KeyboardModifiers modifiers);
    enum Corner : uint8_t { NoCorner, StartCorner, EndCorner };
    Corner corner() const { return corner_; }

    // The loupe is wanted while a mark mode is on or the area is drawn.
    bool wantsLoupe() const { return active_ && (mode_ != NoMark || dragging_); }
    // How far the mouse reaches in the present mode: a mark stays on the
    // picture, a corner of the area reaches its far edges. With the view's
    // screen map, it gives the pixel that a release takes.
    ScreenMap::Reach reach() const;

    // Mouse on the picture view, in the view's own coordinates.
    void mouseDown(Qt::MouseButton button, int x, int y);
    void mouseMove(int x, int y);
    void mouseUp(Qt::MouseButton button);
    // A right release on the scan outline removes the area.
    void scanShapeMouseUp(Qt::MouseButton button);
    // Removes the area unless it is locked; false when it was locked.
    bool removeArea();

    // The positions that the options dialog wrote, kept for redrawing.
    void takeExactPositions(const ScanSettings& record);
    // The calibration of the settings: in the kinds other than the axes kind
    // X1 and Y1 are full points, drawn as crossed circles, the corner C and
    // the further reference points are drawn too, and the area is drawn as
    // the quadrilateral that the chart's frame rectangle covers.
    void takeCalibration(const ScanSettings& settings);
    bool fullPoints() const { return fullPoints_; }
    // Moves a mark just placed to where it snapped.
    void moveMarkTo(Mode mode, double x, double y);
    // Places the marks and the outline anew on the view's current size.
    void refit();

    // Exact positions in picture pixels; -1 when not set.
    double markX(Mode m) const { return markExactX_[m - 1]; }
    double markY(Mode m) const { return markExactY_[m - 1]; }
    struct Area {
        double x1 = -1, y1 = -1, x2 = -1, y2 = -1;
        bool operator==(const Area&) const = default;
    };
    const Area& area() const { return area_; }
    // An area chosen elsewhere (the straightened view), as if drawn here;
    // false when the area is locked.
    bool chooseArea(const Area& area);

    // What an undo step returns to: the exact marks, the area and the lock.
    struct State {
        std::array<double, kMarks> markX{}, markY{};
        Area area;
        bool hasArea = false;
        bool locked = false;
        bool operator==(const State&) const = default;
    };
    State state() const;
    // Puts the state back; the owner refits the shapes after it.
    void restore(const State& state);

    // Where the tool puts a picture position on the window, and the way
    // back: the view's screen map, as it is now.
    int32_t bitmapToWindowX(double x) const;
    int32_t bitmapToWindowY(double y) const;
    double windowToBitmapX(int wx) const;
    double windowToBitmapY(int wy) const;

signals:
    // A mark was placed at the exact picture position.
    void markPlaced(Mode mode, double x, double y);
    // A click in the PointMark mode, at the exact picture position.
    void pointClicked(double x, double y);
    // An area was drawn; corners in picture pixels, x1 <= x2 and y1 <= y2.
    void areaDrawn(const Area& area);
    // The area as it is being dragged, corners as in areaDrawn; the views
    // over the picture follow it before the release.
    void areaDragged(const Area& area);
    // A mark mode was entered or left.
    void modeChanged();
    // A press and release that drew no area.
    void areaNotSelected();
    void areaRemoved();
    // Sent before a mark, the area or the lock changes, so that the change
    // can be undone.
    void aboutToChange();
    // Escape in a mark mode: the owner releases the mode's button.
    void leaveModeAsked();

private:
    ScreenMap map() const;
    Area dragArea() const;
    void moveMark();
    void placeMark();
    bool markSet(int i) const;
    void placeMarkShape(int i);
    void placePointShapes();
    void placeAreaShape();
    void nudgeMark(int dx, int dy);
    void nudgeCorner(int dx, int dy);
    void showCorner();

    PictureView& view_;
    bool active_ = false;
    Mode mode_ = NoMark;
    bool placing_ = false;
    bool dragging_ = false;
    bool noScanArea_ = true;
    bool locked_ = false;
    int32_t markWX_ = -1, markWY_ = -1; // the mark being placed, in window pixels
    int32_t dragStartX_ = 0, dragStartY_ = 0, dragEndX_ = 0, dragEndY_ = 0;
    double markExactX_[kMarks] = {-1, -1, -1, -1, -1};
    double markExactY_[kMarks] = {-1, -1, -1, -1, -1};
    bool fullPoints_ = false; // X1 and Y1 are full points
    bool fourPoint_ = false;  // the corner C is drawn
    ScanSettings chart_;      // the settings whose calibration the marks show
    Area area_;
    Corner corner_ = NoCorner;
};

} // namespace plotrun
