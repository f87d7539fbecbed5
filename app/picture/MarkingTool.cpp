#include "MarkingTool.h"

#include "PictureView.h"

#include "ChartScan.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace plotrun {

using Mark = PictureView::Mark;

namespace {
const Mark kMarkShapes[MarkingTool::kMarks] = {Mark::Origin, Mark::X1, Mark::Y1, Mark::Start, Mark::C};

// Where a mark that is not set lies: off the picture, as at the start.
QRect unsetBounds(Mark m)
{
    switch (m) {
    case Mark::Origin: return QRect(QPoint(-16, -16), QPoint(0, 0));
    case Mark::Start: return QRect(-10, -10, 10, 10);
    default: return QRect(QPoint(-1, -1), QPoint(-1, -1));
    }
}
} // namespace

MarkingTool::MarkingTool(PictureView& view, QObject* parent) : QObject(parent), view_(view)
{
    for (Mark m : {Mark::Origin, Mark::X1, Mark::Y1, Mark::C})
        view_.setShapeBounds(m, unsetBounds(m));
    view_.setShapeVisible(Mark::ScanArea, false);
    view_.setShapeBounds(Mark::ScanArea, QRect(-1, -1, 0, 0));
}

// Asked anew each time: zoom changes the view's frame, and scrolling changes nothing.
ScreenMap MarkingTool::map() const { return view_.screenMap(); }

double MarkingTool::windowToBitmapX(int wx) const { return map().bitmapX(wx); }
double MarkingTool::windowToBitmapY(int wy) const { return map().bitmapY(wy); }
int32_t MarkingTool::bitmapToWindowX(double x) const { return map().windowX(x); }
int32_t MarkingTool::bitmapToWindowY(double y) const { return map().windowY(y); }

ScreenMap::Reach MarkingTool::reach() const
{
    const bool point = mode_ == OriginMark || mode_ == StartMark || mode_ == CornerMark || mode_ == PointMark;
    return {point || mode_ == X1Mark || (fullPoints_ && mode_ == Y1Mark),
            point || mode_ == Y1Mark || (fullPoints_ && mode_ == X1Mark)};
}

void MarkingTool::setMode(Mode mode, bool on)
{
    const Mark marks[] = {Mark::Origin, Mark::X1, Mark::Y1, Mark::Start, Mark::C};
    if (on) {
        // Only the mark being placed is seen, and no outline.
        for (int i = 0; i < kMarks; ++i)
            if (i != mode - 1)
                view_.setShapeVisible(marks[i], false);
        mode_ = mode;
        view_.setShapeVisible(Mark::ScanArea, false);
        corner_ = NoCorner;
        view_.setShapeVisible(Mark::Corner, false);
        view_.setFocus(); // for the arrow keys
    } else {
        mode_ = NoMark;
        if (!noScanArea_)
            view_.setShapeVisible(Mark::ScanArea, true);
        for (Mark m : marks)
            view_.setShapeVisible(m, true);
        refit();
    }
    view_.shapesChanged();
    emit modeChanged();
}

void MarkingTool::mouseDown(Qt::MouseButton button, int x, int y)
{
    if (!active_ || button == Qt::RightButton)
        return;
    const QRect frame = map().frame();
    if (mode_ != NoMark) {
        markWX_ = x + frame.x();
        markWY_ = y + frame.y();
        moveMark();
        placing_ = true;
        return;
    }
    if (locked_ || !noScanArea_)
        return;
    dragStartX_ = x + frame.x();
    dragStartY_ = y + frame.y();
    dragging_ = true;
    view_.setAreaPolygon({}); // while dragged, the area is the rectangle drawn
    view_.setShapeVisible(Mark::ScanArea, true);
    view_.shapesChanged();
}

void MarkingTool::moveMark()
{
    const QRect frame = map().frame();
    switch (mode_) {
    case OriginMark: view_.setShapeBounds(Mark::Origin, QRect(markWX_ - 8, markWY_ - 8, 16, 16)); break;
    case X1Mark:
    case Y1Mark:
        if (fullPoints_)
            view_.setShapeBounds(kMarkShapes[mode_ - 1], QRect(markWX_ - 8, markWY_ - 8, 16, 16));
        else if (mode_ == X1Mark)
            view_.setShapeBounds(Mark::X1, QRect(markWX_, frame.y(), 1, frame.height()));
        else
            view_.setShapeBounds(Mark::Y1, QRect(frame.x(), markWY_, frame.width(), 1));
        break;
    case StartMark: view_.setShapeBounds(Mark::Start, QRect(markWX_ - 5, markWY_ - 5, 10, 10)); break;
    case CornerMark: view_.setShapeBounds(Mark::C, QRect(markWX_ - 8, markWY_ - 8, 16, 16)); break;
    default: break;
    }
    view_.shapesChanged();
}

void MarkingTool::mouseMove(int x, int y)
{
    if (placing_) {
        const QPoint at = map().clampedWindowPoint({x, y}, reach());
        markWX_ = at.x();
        markWY_ = at.y();
        moveMark();
        return;
    }
    if (locked_ || !dragging_)
        return;
    const QPoint at = map().clampedWindowPoint({x, y}, {});
    dragEndX_ = at.x();
    dragEndY_ = at.y();
    view_.setShapeBounds(Mark::ScanArea, QRect(std::min(dragStartX_, dragEndX_), std::min(dragStartY_, dragEndY_),
                                               std::abs(dragEndX_ - dragStartX_), std::abs(dragEndY_ - dragStartY_)));
    view_.shapesChanged();
    if (dragEndX_ != dragStartX_ && dragEndY_ != dragStartY_)
        emit areaDragged(dragArea());
}

MarkingTool::Area MarkingTool::dragArea() const
{
    Area a{windowToBitmapX(dragStartX_), windowToBitmapY(dragStartY_), windowToBitmapX(dragEndX_),
           windowToBitmapY(dragEndY_)};
    if (a.x2 < a.x1)
        std::swap(a.x1, a.x2);
    if (a.y2 < a.y1)
        std::swap(a.y1, a.y2);
    return a;
}

void MarkingTool::mouseUp(Qt::MouseButton button)
{
    if (button == Qt::RightButton)
        return;
    if (placing_) {
        placeMark();
        return;
    }
    if (locked_ || !dragging_)
        return;
    emit aboutToChange();
    dragging_ = false;
    const QRect drawn = view_.shape(Mark::ScanArea).bounds;
    if (drawn.width() == 0 || drawn.height() == 0) {
        view_.setShapeVisible(Mark::ScanArea, false);
        view_.setShapeBounds(Mark::ScanArea, QRect(-1, -1, 0, 0));
        noScanArea_ = true;
        view_.shapesChanged();
        emit areaNotSelected();
        return;
    }
    area_ = dragArea();
    noScanArea_ = false;
    emit areaDrawn(area_);
}

void MarkingTool::placeMark()
{
    if (mode_ == PointMark) {
        placing_ = false;
        emit pointClicked(windowToBitmapX(markWX_), windowToBitmapY(markWY_));
        return;
    }
    const int i = mode_ - 1;
    emit aboutToChange();
    markExactX_[i] = windowToBitmapX(markWX_);
    markExactY_[i] = windowToBitmapY(markWY_);
    placing_ = false;
    emit markPlaced(mode_, markExactX_[i], markExactY_[i]);
}

void MarkingTool::scanShapeMouseUp(Qt::MouseButton button)
{
    if (button != Qt::RightButton || locked_)
        return;
    removeArea();
    view_.setShapeVisible(Mark::ScanArea, true); // the empty bounds show nothing
}

bool MarkingTool::removeArea()
{
    if (locked_)
        return false;
    emit aboutToChange();
    noScanArea_ = true;
    dragging_ = false;
    corner_ = NoCorner;
    view_.setShapeVisible(Mark::Corner, false);
    view_.setShapeVisible(Mark::ScanArea, false);
    view_.setShapeBounds(Mark::ScanArea, QRect(-1, -1, 0, 0));
    view_.setAreaPolygon({});
    area_ = {};
    view_.shapesChanged();
    emit areaRemoved();
    return true;
}

bool MarkingTool::chooseArea(const Area& a)
{
    if (locked_)
        return false;
    emit aboutToChange();
    area_ = a;
    noScanArea_ = false;
    corner_ = NoCorner;
    refit();
    emit areaDrawn(area_);
    return true;
}

void MarkingTool::takeExactPositions(const ScanSettings& r)
{
    markExactX_[0] = r.OriginX;
    markExactY_[0] = r.OriginY;
    markExactX_[1] = r.RefX;
    markExactY_[2] = r.RefY;
    markExactX_[3] = r.Follow.StartX;
    markExactY_[3] = r.Follow.StartY;
    if (!r.Calibration.aligned()) {
        markExactY_[1] = r.Calibration.X1Y;
        markExactX_[2] = r.Calibration.Y1X;
        markExactX_[4] = r.Calibration.CornerX;
        markExactY_[4] = r.Calibration.CornerY;
    }
    area_ = {r.ScanStartX, r.ScanStartY, r.ScanEndX, r.ScanEndY};
    takeCalibration(r);
}

void MarkingTool::moveMarkTo(Mode mode, double x, double y)
{
    if (mode < OriginMark || mode > CornerMark)
        return;
    markExactX_[mode - 1] = x;
    markExactY_[mode - 1] = y;
    placeMarkShape(mode - 1);
    view_.shapesChanged();
}

void MarkingTool::takeCalibration(const ScanSettings& settings)
{
    chart_ = settings;
    const CalibrationSettings& c = settings.Calibration;
    fullPoints_ = !c.aligned();
    fourPoint_ = c.Kind == CalibrationKind::FourPoint;
    const Shape::Look look = fullPoints_ ? Shape::Look::CrossedCircle : Shape::Look::DottedLine;
    view_.setShapeLook(Mark::X1, look);
    view_.setShapeLook(Mark::Y1, look);
    for (int i : {1, 2, 4})
        placeMarkShape(i);
    placePointShapes();
    placeAreaShape();
    view_.shapesChanged();
}

// The area's quadrilateral, when the kind has one and the map can be made;
// the outline's rectangle is drawn otherwise.
void MarkingTool::placeAreaShape()
{
    QPolygon quad;
    if (fullPoints_ && !noScanArea_) {
        const ChartMap chart(chart_);
        const FrameArea a = frameAreaOf(chart_, chart);
        if (a.stop == ScanStop::None) {
            const ScreenMap screen = map();
            for (const auto& [fx, fy] : {std::pair{a.left, a.bottom}, std::pair{a.right, a.bottom},
                                         std::pair{a.right, a.top}, std::pair{a.left, a.top}}) {
                const ChartPoint p = chart.fromFrame(fx, fy);
                quad << QPoint(screen.windowX(p.x), screen.windowY(p.y));
            }
        }
    }
    view_.setAreaPolygon(quad);
}

void MarkingTool::placePointShapes()
{
    std::vector<QRect> bounds;
    if (fullPoints_) {
        const ScreenMap screen = map();
        for (const ReferencePoint& p : chart_.Calibration.Points)
            bounds.emplace_back(screen.windowX(p.x) - 6, screen.windowY(p.y) - 6, 12, 12);
    }
    view_.setReferencePoints(std::move(bounds));
}

void MarkingTool::refit()
{
    if (!noScanArea_ && mode_ == NoMark) {
        const int xa = bitmapToWindowX(area_.x1), xb = bitmapToWindowX(area_.x2);
        const int ya = bitmapToWindowY(area_.y1), yb = bitmapToWindowY(area_.y2);
        view_.setShapeBounds(Mark::ScanArea,
                             QRect(std::min(xa, xb), std::min(ya, yb), std::abs(xb - xa), std::abs(yb - ya)));
        view_.setShapeVisible(Mark::ScanArea, true);
    }
    for (int i = 0; i < kMarks; ++i)
        placeMarkShape(i);
    placePointShapes();
    placeAreaShape();
    showCorner();
    view_.shapesChanged();
}

// Along the picture the X1 mark is only an x and the Y1 mark only a y; the
// start point, the corner and the full points need both. The corner is only
// the four-point kind's.
bool MarkingTool::markSet(int i) const
{
    const bool both = markExactX_[i] >= 0 && markExactY_[i] >= 0;
    switch (i) {
    case 1: return fullPoints_ ? both : markExactX_[1] >= 0;
    case 2: return fullPoints_ ? both : markExactY_[2] >= 0;
    case 3: return both;
    case 4: return fourPoint_ && both;
    default: return markExactX_[i] >= 0;
    }
}

// A mark that is not set goes back to where it starts, off the picture, so
// that nothing of an earlier one stays drawn.
void MarkingTool::placeMarkShape(int i)
{
    const Mark m = kMarkShapes[i];
    if (!markSet(i)) {
        view_.setShapeBounds(m, unsetBounds(m));
        return;
    }
    const ScreenMap screen = map();
    const QRect frame = screen.frame();
    const int x = screen.windowX(markExactX_[i]);
    const int y = screen.windowY(markExactY_[i]);
    const bool circle = m == Mark::Origin || m == Mark::C || (fullPoints_ && (m == Mark::X1 || m == Mark::Y1));
    switch (circle ? Mark::Origin : m) {
    case Mark::Origin: view_.setShapeBounds(m, QRect(x - 8, y - 8, 16, 16)); break;
    case Mark::X1: view_.setShapeBounds(m, QRect(x, frame.y(), 1, frame.height())); break;
    case Mark::Y1: view_.setShapeBounds(m, QRect(frame.x(), y, frame.width(), 1)); break;
    default: view_.setShapeBounds(m, QRect(x - 5, y - 5, 10, 10)); break;
    }
}

bool MarkingTool::keyPress(int key, Qt::KeyboardModifiers modifiers)
{
    if (!active_ || placing_ || dragging_)
        return false;
    if (key == Qt::Key_Escape) {
        if (mode_ != NoMark)
            emit leaveModeAsked();
        else if (corner_ != NoCorner)
            corner_ = NoCorner;
        else
            return false;
        showCorner();
        view_.shapesChanged();
        return true;
    }
    if (key == Qt::Key_C && mode_ == NoMark) {
        if (noScanArea_ || locked_)
            return false;
        corner_ = Corner((corner_ + 1) % 3);
        showCorner();
        view_.shapesChanged();
        return true;
    }
    const int step = modifiers & Qt::ShiftModifier ? 10 : 1;
    int dx = 0, dy = 0;
    switch (key) {
    case Qt::Key_Left: dx = -step; break;
    case Qt::Key_Right: dx = step; break;
    case Qt::Key_Up: dy = step; break; // picture y counts upward
    case Qt::Key_Down: dy = -step; break;
    default: return false;
    }
    if (mode_ != NoMark) {
        // Along the picture the X1 mark is only an x, the Y1 mark only a y.
        if (mode_ == PointMark || (!fullPoints_ && ((mode_ == X1Mark && dx == 0) || (mode_ == Y1Mark && dy == 0))))
            return false;
        nudgeMark(dx, dy);
        return true;
    }
    if (corner_ == NoCorner || noScanArea_ || locked_)
        return false;
    nudgeCorner(dx, dy);
    return true;
}

// A mark moved by keys lands on whole picture pixels, columns 0 to width - 1
// and rows y = 1 to height; a mark not yet placed starts in the middle.
void MarkingTool::nudgeMark(int dx, int dy)
{
    const int i = mode_ - 1;
    const QSize picture = map().picture();
    const double x = markExactX_[i] < 0 ? picture.width() / 2 : std::trunc(markExactX_[i]);
    const double y = markExactY_[i] < 0 ? picture.height() / 2 : std::trunc(markExactY_[i]);
    emit aboutToChange();
    markExactX_[i] = std::clamp(x + dx, 0.0, double(picture.width() - 1));
    markExactY_[i] = std::clamp(y + dy, 1.0, double(picture.height()));
    placeMarkShape(i);
    view_.shapesChanged();
    emit markPlaced(mode_, markExactX_[i], markExactY_[i]);
}

// A corner moved by keys stays on the picture (0 to width, 0 to height, as a
// drag reaches) and does not pass the other corner.
void MarkingTool::nudgeCorner(int dx, int dy)
{
    Area a = area_;
    if (corner_ == StartCorner) {
        a.x1 = std::clamp(std::trunc(a.x1) + dx, 0.0, a.x2);
        a.y1 = std::clamp(std::trunc(a.y1) + dy, 0.0, a.y2);
    } else {
        a.x2 = std::clamp(std::trunc(a.x2) + dx, a.x1, double(map().picture().width()));
        a.y2 = std::clamp(std::trunc(a.y2) + dy, a.y1, double(map().picture().height()));
    }
    emit aboutToChange();
    area_ = a;
    refit();
    emit areaDrawn(area_);
}

// A small square on the chosen corner of the outline.
void MarkingTool::showCorner()
{
    const bool shown = corner_ != NoCorner && !noScanArea_ && mode_ == NoMark;
    view_.setShapeVisible(Mark::Corner, shown);
    if (!shown)
        return;
    const bool start = corner_ == StartCorner;
    const int x = bitmapToWindowX(start ? area_.x1 : area_.x2), y = bitmapToWindowY(start ? area_.y1 : area_.y2);
    view_.setShapeBounds(Mark::Corner, QRect(x - 3, y - 3, 7, 7));
}

MarkingTool::State MarkingTool::state() const
{
    State s;
    std::copy(std::begin(markExactX_), std::end(markExactX_), s.markX.begin());
    std::copy(std::begin(markExactY_), std::end(markExactY_), s.markY.begin());
    s.area = area_;
    s.hasArea = !noScanArea_;
    s.locked = locked_;
    return s;
}

void MarkingTool::restore(const State& s)
{
    std::copy(s.markX.begin(), s.markX.end(), markExactX_);
    std::copy(s.markY.begin(), s.markY.end(), markExactY_);
    area_ = s.area;
    noScanArea_ = !s.hasArea;
    locked_ = s.locked;
    corner_ = NoCorner;
    // Marks that were not placed go back to where they start, off the picture.
    for (int i = 0; i < kMarks; ++i)
        if (!markSet(i))
            placeMarkShape(i);
    if (noScanArea_) {
        view_.setShapeVisible(Mark::ScanArea, false);
        view_.setShapeBounds(Mark::ScanArea, QRect(-1, -1, 0, 0));
    }
    showCorner();
    view_.shapesChanged();
}

} // namespace plotrun
