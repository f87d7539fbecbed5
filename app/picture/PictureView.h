#pragma once
// The picture control: the picture stretched over the whole control, and the
// marks and the scan outline drawn over it with inverting pens. Zoomed, the
// control is as large as the zoomed picture and sits in a scroll area.

#include "ScreenMap.h"

#include <QImage>
#include <QPixmap>
#include <QPolygon>
#include <QRect>
#include <QWidget>

#include <array>
#include <cstdint>
#include <vector>

class QPainter;

namespace plotrun {

// A mark or outline over the picture: bounds in window coordinates (those of
// the client area that holds the picture) and visibility.
struct Shape {
    // CrossedCircle: a full point of a rotated, skewed or photographed
    // chart's calibration, a circle with a cross on the point.
    enum class Look { Circle, DottedLine, Outline, CrossedCircle };
    Look look = Look::Outline;
    QRect bounds;
    bool visible = true;

    void setBounds(int left, int top, int width, int height) { bounds = QRect(left, top, width, height); }
};

// Something drawn over the picture and under the marks, in the view's own
// coordinates, placed through the view's screen map.
class PictureOverlay {
public:
    virtual ~PictureOverlay() = default;
    virtual void paintOver(QPainter& painter, const ScreenMap& map) const = 0;
};

class PictureView : public QWidget {
    Q_OBJECT

public:
    explicit PictureView(QWidget* parent = nullptr);

    void setPicture(const QImage& picture);

    // The shapes over the picture, drawn in this order: the origin, X1, Y1
    // and start marks, the outline of the scan area, the corner of the
    // scan area that the keys move (hidden when none is chosen), and the
    // chart's corner C of the four-point calibration.
    enum class Mark : uint8_t { Origin, X1, Y1, Start, ScanArea, Corner, C };
    const Shape& shape(Mark mark) const { return shapes_[size_t(mark)]; }
    void setShapeBounds(Mark mark, const QRect& bounds) { shapes_[size_t(mark)].bounds = bounds; }
    void setShapeVisible(Mark mark, bool visible) { shapes_[size_t(mark)].visible = visible; }
    void setShapeLook(Mark mark, Shape::Look look) { shapes_[size_t(mark)].look = look; }
    // The further reference points, each a small crossed circle; bounds in
    // window coordinates, drawn after the shapes.
    const std::vector<QRect>& referencePoints() const { return referencePoints_; }
    void setReferencePoints(std::vector<QRect> bounds) { referencePoints_ = std::move(bounds); }
    // The scan area as the quadrilateral it covers on the picture, window
    // coordinates; drawn in place of the outline's rectangle when not empty.
    const QPolygon& areaPolygon() const { return areaPolygon_; }
    void setAreaPolygon(const QPolygon& polygon) { areaPolygon_ = polygon; }

    // The picture itself, as loaded (the display copy may be reduced).
    const QImage& picture() const { return picture_; }

    // Where the control lies in window coordinates: its own size, placed as
    // if the scroll area had not scrolled, so that scrolling moves no mark.
    QRect frame() const { return QRect(pos() + scrolled_, size()); }
    // The picture as it lies on the screen now, zoom and scrolling included.
    ScreenMap screenMap() const { return {picture_.size(), frame()}; }
    // The part of the control on the screen (its own coordinates): the
    // whole of it when fitted, what the scroll area shows when zoomed.
    QRect shownRect() const;
    void setScrolled(QPoint offset) { scrolled_ = offset; }
    // Fitted, the picture is stretched through the display copy; zoomed,
    // only the exposed part is drawn, from the picture or its reduced copy.
    void setFitted(bool fitted);

    // Redraws after the shapes changed.
    void shapesChanged() { update(); }

    // Overlays are drawn in the order they were added; the view does not own them.
    void addOverlay(const PictureOverlay* overlay) { overlays_.push_back(overlay); }

signals:
    // A new picture was set.
    void pictureChanged();
    // Positions in the control's own coordinates. Every press is told.
    void mouseDown(Qt::MouseButton button, int x, int y);
    void mouseMove(int x, int y);
    void mouseUp(Qt::MouseButton button, int x, int y);
    // A release on the scan outline, where the press began too; it comes in
    // place of mouseUp.
    void scanShapeMouseUp(Qt::MouseButton button);
    // A key pressed while the control has the focus; the receiver sets
    // `used` when the key was one of its own.
    void keyPressed(int key, Qt::KeyboardModifiers modifiers, bool& used);
    void mouseLeft();
    void resized();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool onScanShape(const QPoint& local) const;
    void paintZoomed(QPainter& p, const QRect& exposed);
    const QPixmap& displayCopy();

    QImage preview_;  // a smaller copy of a huge picture, the source of the display copy
    QPixmap display_; // the picture at the control's size
    QImage picture_;
    QPoint scrolled_;
    bool fitted_ = true;
    bool pressOnScanShape_ = false;
    std::vector<const PictureOverlay*> overlays_;
    std::array<Shape, 7> shapes_{{{Shape::Look::Circle, QRect(-16, -16, 16, 16), true},
                                  {Shape::Look::DottedLine, QRect(-1, -1, 0, 0), true},
                                  {Shape::Look::DottedLine, QRect(-1, -1, 0, 0), true},
                                  {Shape::Look::Circle, QRect(-10, -10, 10, 10), true},
                                  {Shape::Look::Outline, QRect(-1, -1, 0, 0), true},
                                  {Shape::Look::Outline, QRect(-1, -1, 0, 0), false},
                                  {Shape::Look::CrossedCircle, QRect(-1, -1, 0, 0), true}}};
    std::vector<QRect> referencePoints_;
    QPolygon areaPolygon_;
};

} // namespace plotrun
