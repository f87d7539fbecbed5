#include "InkPicker.h"

#include "InkModel.h"

#include <algorithm>
#include <cmath>

namespace plotrun {

bool InkPicker::mouseDown(int x, int y)
{
    if (!active_)
        return false;
    pressed_ = true;
    at_ = QPoint(x, y);
    return true;
}

std::optional<uint32_t> InkPicker::mouseUp(const PixelView& picture, QSize viewSize, uint32_t paper)
{
    if (!pressed_)
        return std::nullopt;
    active_ = pressed_ = false;
    if (viewSize.isEmpty() || picture.width <= 0 || picture.height <= 0)
        return std::nullopt;
    const double fx = double(picture.width) / viewSize.width(), fy = double(picture.height) / viewSize.height();
    const int64_t x = int64_t(std::floor(at_.x() * fx)), row = int64_t(std::floor(at_.y() * fy));
    // A few screen pixels around the click, however much the picture is reduced.
    const int32_t radius = std::clamp(int32_t(std::ceil(3 * std::max(fx, fy))), 2, 32);
    return mostInkLike(picture, x, row, radius, paper);
}

} // namespace plotrun
