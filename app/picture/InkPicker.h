#pragma once
// "Pick from picture": after it is started, the next click on the picture
// takes the ink colour from the picture's own pixels (not from the display
// copy), the most ink-like one near the click.

#include "PixelView.h"
#include "ScreenMap.h"

#include <QPoint>

#include <cstdint>
#include <optional>

namespace plotrun {

class InkPicker {
public:
    void start() { active_ = true; }
    void cancel() { active_ = pressed_ = false; }
    bool active() const { return active_; }
    // Where the press was, in the view's coordinates.
    QPoint pressedAt() const { return at_; }

    // A press on the view; true when the picker takes it.
    bool mouseDown(int x, int y);
    // The release of that press: the colour near where it was pressed, with
    // the picture where `map` shows it. Nothing when the picker did not take
    // the press.
    std::optional<uint32_t> mouseUp(const PixelView& picture, const ScreenMap& map, uint32_t paper);

private:
    bool active_ = false;
    bool pressed_ = false;
    QPoint at_;
};

} // namespace plotrun
