#include "ScreenMap.h"

#include <algorithm>
#include <cmath>

namespace plotrun {

double ScreenMap::bitmapX(int windowX) const
{
    return static_cast<double>(static_cast<long double>(picture_.width()) / frame_.width() * (windowX - frame_.x()));
}

double ScreenMap::bitmapY(int windowY) const
{
    return static_cast<double>(picture_.height() *
                               (1.0L - static_cast<long double>(windowY - frame_.y()) / frame_.height()));
}

int32_t ScreenMap::windowX(double bitmapX) const
{
    const int left = frame_.x(), width = frame_.width();
    if (picture_.width() <= 0)
        return left;
    long double v = static_cast<long double>(width) / picture_.width() * bitmapX + left + 0.5L;
    if (v > left + width)
        v -= 1;
    return static_cast<int32_t>(v);
}

int32_t ScreenMap::windowY(double bitmapY) const
{
    const int top = frame_.y(), height = frame_.height();
    if (picture_.height() <= 0)
        return top;
    long double v = height * (1.0L - static_cast<long double>(bitmapY) / picture_.height()) + top + 0.5L;
    if (v > top + height)
        v -= 1;
    return static_cast<int32_t>(v);
}

QPoint ScreenMap::clampedWindowPoint(QPoint viewPoint, Reach reach) const
{
    const int x = std::clamp(viewPoint.x(), 0, frame_.width());
    const int y = std::clamp(viewPoint.y(), 0, frame_.height());
    int wx = x + frame_.x(), wy = y + frame_.y();
    if (reach.lastColumn)
        wx = std::min(wx, frame_.x() + frame_.width() - 1);
    if (reach.lastRow)
        wy = std::min(wy, frame_.y() + frame_.height() - 1);
    return {wx, wy};
}

QPoint ScreenMap::markedPixel(QPoint viewPoint, Reach reach) const
{
    const QPoint w = clampedWindowPoint(viewPoint, reach);
    return {int(bitmapX(w.x())), int(bitmapY(w.y()))};
}

QPoint ScreenMap::takenPixel(QPoint viewPoint, Reach reach) const
{
    const QPoint marked = markedPixel(viewPoint, reach);
    // Rows count from the top, where the bitmap y is the picture's height.
    return {marked.x(), picture_.height() - marked.y()};
}

QRectF ScreenMap::viewRect(const QRectF& r) const
{
    return QRectF(QPointF(viewX(r.left()), viewY(r.top())), QPointF(viewX(r.right()), viewY(r.bottom())));
}

QRectF ScreenMap::pictureRect(const QRectF& r) const
{
    const double sx = pictureStepX(), sy = pictureStepY();
    return QRectF(QPointF(r.left() * sx, r.top() * sy), QPointF(r.right() * sx, r.bottom() * sy));
}

QPoint ScreenMap::pixelUnder(QPoint viewPoint) const
{
    const double fx = pictureStepX(), fy = pictureStepY();
    return {int(std::floor(viewPoint.x() * fx)), int(std::floor(viewPoint.y() * fy))};
}

} // namespace plotrun
