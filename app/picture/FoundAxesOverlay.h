#pragma once
// What Find Axes found, drawn over the picture: the axis lines, each tick
// with the value it was given, and the misread labels in another colour.

#include "PictureView.h"

#include "AxisFinder.h"

#include <QColor>
#include <QSize>

namespace plotrun {

class FoundAxesOverlay : public PictureOverlay {
public:
    explicit FoundAxesOverlay(PictureView& view);
    ~FoundAxesOverlay() override;

    static inline const QColor kFound{0, 150, 60};
    static inline const QColor kMisread{220, 30, 30};

    // Drawn only while the view shows a picture of the given size.
    void setFound(const FoundAxes& found, QSize picture);
    void clear();
    bool shown() const { return shown_; }
    const FoundAxes& found() const { return found_; }

    void paintOver(QPainter& painter, const ScreenMap& map) const override;

private:
    PictureView& view_;
    FoundAxes found_;
    QSize picture_;
    bool shown_ = false;
};

} // namespace plotrun
