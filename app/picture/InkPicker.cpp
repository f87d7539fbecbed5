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

std::optional<uint32_t> InkPicker::mouseUp(const PixelView& picture, const ScreenMap& map, uint32_t paper)
{
    if (!pressed_)
        return std::nullopt;
    active_ = pressed_ = false;
    if (map.empty() || picture.width <= 0 || picture.height <= 0)
        return std::nullopt;
    const QPoint under = map.pixelUnder(at_);
    // A few screen pixels around the click, however much the picture is reduced.
    const int32_t radius = std::clamp(int32_t(std::ceil(3 * std::max(map.pictureStepX(), map.pictureStepY()))), 2, 32);
    return mostInkLike(picture, under.x(), under.y(), radius, paper);
}

} // namespace plotrun
