#pragma once
// Marking on the picture: the origin, X1 and Y1 marks, the scan area drawn
// with the mouse, its lock, and the conversions between window pixels and
// picture pixels. The tool keeps the exact positions, draws the shapes on the
// picture view, and tells its owner what was placed or drawn; the owner keeps
// the Scan settings.

#include "ScanSettings.h"

#include <QObject>

namespace plotrun {

class PictureView;

class MarkingTool : public QObject {
    Q_OBJECT

public:
    enum Mode : uint8_t { NoMark = 0, OriginMark = 1, X1Mark = 2, Y1Mark = 3 };

    explicit MarkingTool(PictureView& view, QObject* parent = nullptr);

    // The picture that is marked, in picture pixels; marking works only once
    // a picture is accepted.
    void setPicture(int width, int height);
    void setActive(bool active) { active_ = active; }

    // A mark button pressed (on) or released (off).
    void setMode(Mode mode, bool on);
    Mode mode() const { return mode_; }
    bool placingMark() const { return placing_; }
    bool dragging() const { return dragging_; }
    bool hasArea() const { return !noScanArea_; }
    bool locked() const { return locked_; }
    void setLocked(bool locked) { locked_ = locked; }

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
    // Places the marks and the outline anew on the view's current size.
    void refit();

    // Exact positions in picture pixels; -1 when not set.
    double markX(Mode m) const { return markExactX_[m - 1]; }
    double markY(Mode m) const { return markExactY_[m - 1]; }
    struct Area {
        double x1 = -1, y1 = -1, x2 = -1, y2 = -1;
    };
    const Area& area() const { return area_; }

    // Picture pixel to window pixel (the client area's coordinates), rounded.
    int32_t bitmapToWindowX(double x) const;
    int32_t bitmapToWindowY(double y) const;
    // Window pixel to picture pixel, in extended precision, stored as a double.
    double windowToBitmapX(int wx) const;
    double windowToBitmapY(int wy) const;

signals:
    // A mark was placed at the exact picture position.
    void markPlaced(Mode mode, double x, double y);
    // An area was drawn; corners in picture pixels, x1 <= x2 and y1 <= y2.
    void areaDrawn(const Area& area);
    // A press and release that drew no area.
    void areaNotSelected();
    void areaRemoved();

private:
    int L() const;
    int T() const;
    int IW() const;
    int IH() const;
    void moveMark();
    void placeMark();

    PictureView& view_;
    int pictureWidth_ = 0, pictureHeight_ = 0;
    bool active_ = false;
    Mode mode_ = NoMark;
    bool placing_ = false;
    bool dragging_ = false;
    bool noScanArea_ = true;
    bool locked_ = false;
    int32_t markWX_ = -1, markWY_ = -1; // the mark being placed, in window pixels
    int32_t dragStartX_ = 0, dragStartY_ = 0, dragEndX_ = 0, dragEndY_ = 0;
    double markExactX_[3] = {-1, -1, -1};
    double markExactY_[3] = {-1, -1, -1};
    Area area_;
};

} // namespace plotrun
