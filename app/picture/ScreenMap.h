#pragma once
// Where the picture lies on the screen: the one conversion between picture
// pixels and the pixels of the picture view, zoom and scrolling included.
// The picture view hands it out; the marking tool, the overlays, the loupe,
// the coordinates and the ink picker convert through it alone, so that a
// mark, a grid line, a tinted pixel and the pixel named in the status bar
// agree on where a picture pixel is.
//
// Three kinds of coordinates meet here:
// - window pixels: the client area's, in which the marks are drawn; the view
//   lies at `frame()` there, placed as if its scroll area had not scrolled;
// - view coordinates: the picture view's own, fractional for drawing;
// - picture coordinates: x from the left edge and y down from the top edge
//   in picture pixels (pixel column c, row r covers [c, c + 1) x [r, r + 1)),
//   and bitmap coordinates, whose y counts upward: the top row is y = height.

#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSize>

#include <cstdint>

namespace plotrun {

class ScreenMap {
public:
    ScreenMap() = default;
    // A picture of `picture` pixels stretched over `frame` (window pixels).
    ScreenMap(QSize picture, QRect frame) : picture_(picture), frame_(frame) {}

    QSize picture() const { return picture_; }
    QRect frame() const { return frame_; }
    bool empty() const { return picture_.isEmpty() || frame_.isEmpty(); }

    // --- Window pixels and bitmap coordinates, as the marks are placed.

    // Window pixel to bitmap, in extended precision, stored as a double: the
    // order of the operations is part of the result once it is truncated.
    double bitmapX(int windowX) const;
    double bitmapY(int windowY) const;
    // Bitmap to window pixel, rounded; the far edge of the picture falls on
    // its last window pixel.
    int32_t windowX(double bitmapX) const;
    int32_t windowY(double bitmapY) const;

    // How far a position may go: a mark stays on the picture, so it stops at
    // the last column or row; a corner of the scan area reaches the far edge.
    struct Reach {
        bool lastColumn = false;
        bool lastRow = false;
    };
    // A position of the view held inside it, in window pixels.
    QPoint clampedWindowPoint(QPoint viewPoint, Reach reach) const;
    // The picture pixel that a mark at a position of the view takes, in
    // bitmap coordinates: the clamped position, truncated.
    QPoint markedPixel(QPoint viewPoint, Reach reach) const;
    // The same pixel as column and row from the top.
    QPoint takenPixel(QPoint viewPoint, Reach reach) const;

    // --- View coordinates and picture coordinates, for drawing.

    double viewX(double pictureX) const { return pictureX * frame_.width() / picture_.width(); }
    double viewY(double pictureY) const { return pictureY * frame_.height() / picture_.height(); }
    QPointF viewPoint(QPointF picturePoint) const { return {viewX(picturePoint.x()), viewY(picturePoint.y())}; }
    QRectF viewRect(const QRectF& pictureRect) const;
    // The part of the picture (picture coordinates) that a part of the view shows.
    QRectF pictureRect(const QRectF& viewRect) const;
    // Picture pixels across one view pixel, along x and along y.
    double pictureStepX() const { return double(picture_.width()) / frame_.width(); }
    double pictureStepY() const { return double(picture_.height()) / frame_.height(); }
    // The picture pixel (column, row from the top) whose display holds a
    // position of the view; outside the picture when the position is.
    QPoint pixelUnder(QPoint viewPoint) const;

    // Bitmap y and picture y (from the top) of the same place.
    double pictureYOf(double bitmapY) const { return picture_.height() - bitmapY; }

private:
    QSize picture_;
    QRect frame_;
};

} // namespace plotrun
