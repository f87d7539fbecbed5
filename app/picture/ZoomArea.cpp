#include "ZoomArea.h"

#include "PictureView.h"

#include <QScrollBar>
#include <QWheelEvent>

#include <cmath>

namespace plotrun {

namespace {
// No side of the zoomed view grows past this many window pixels.
constexpr double kLargestSide = 1 << 20;
} // namespace

ZoomArea::ZoomArea(PictureView* view, QWidget* parent) : QScrollArea(parent), view_(view)
{
    setObjectName("ZoomArea");
    setFrameShape(QFrame::NoFrame); // fitted, the view covers the area exactly
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setWidget(view);
    const auto scrolled = [this] {
        view_->setScrolled({horizontalScrollBar()->value(), verticalScrollBar()->value()});
    };
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, scrolled);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, scrolled);
}

void ZoomArea::setPictureSize(QSize size)
{
    picture_ = size;
    fit();
}

// Fitted, the stretch differs across and down; the smaller decides the step.
double ZoomArea::shownScale() const
{
    if (!fitted())
        return scale_;
    if (picture_.isEmpty())
        return 1;
    return std::min(double(view_->width()) / picture_.width(), double(view_->height()) / picture_.height());
}

// The next step up (+1) or down (-1) from the scale shown; 0 when none.
double ZoomArea::nextStep(int direction) const
{
    if (picture_.isEmpty())
        return 0;
    const double now = shownScale();
    double found = 0;
    for (double s : kSteps) {
        if (direction > 0 && s > now * (1 + 1e-9) && found == 0)
            found = s;
        if (direction < 0 && s < now * (1 - 1e-9))
            found = s;
    }
    if (found * std::max(picture_.width(), picture_.height()) > kLargestSide)
        return 0;
    if (found > 0 && std::lround(found * std::min(picture_.width(), picture_.height())) < 1)
        return 0;
    return found;
}

bool ZoomArea::canZoomIn() const { return nextStep(+1) > 0; }
bool ZoomArea::canZoomOut() const { return nextStep(-1) > 0; }

void ZoomArea::zoomIn()
{
    if (const double s = nextStep(+1))
        zoomTo(s, viewport()->rect().center());
}

void ZoomArea::zoomOut()
{
    if (const double s = nextStep(-1))
        zoomTo(s, viewport()->rect().center());
}

void ZoomArea::fit()
{
    scale_ = 0;
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view_->setFitted(true);
    setWidgetResizable(true);
    view_->setScrolled({});
    emit zoomChanged();
}

// The picture point under the anchor (a viewport position) stays under it.
void ZoomArea::zoomTo(double scale, QPoint anchor)
{
    const QPoint at = anchor - view_->pos();
    const double fx = view_->width() > 0 ? double(at.x()) / view_->width() : 0;
    const double fy = view_->height() > 0 ? double(at.y()) / view_->height() : 0;
    scale_ = scale;
    setWidgetResizable(false);
    view_->setFitted(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    view_->resize(std::max(1L, std::lround(picture_.width() * scale)),
                  std::max(1L, std::lround(picture_.height() * scale)));
    horizontalScrollBar()->setValue(int(std::lround(fx * view_->width())) - anchor.x());
    verticalScrollBar()->setValue(int(std::lround(fy * view_->height())) - anchor.y());
    emit zoomChanged();
}

void ZoomArea::wheelEvent(QWheelEvent* event)
{
    if (!(event->modifiers() & Qt::ControlModifier) || picture_.isEmpty()) {
        QScrollArea::wheelEvent(event);
        return;
    }
    const int direction = event->angleDelta().y() > 0 ? +1 : event->angleDelta().y() < 0 ? -1 : 0;
    if (const double s = direction ? nextStep(direction) : 0)
        zoomTo(s, event->position().toPoint()); // in the viewport's coordinates
    event->accept();
}

} // namespace plotrun
