#include "FoundAxesOverlay.h"

#include "ScreenMap.h"

#include "NumberText.h"

#include <QPainter>

namespace plotrun {

FoundAxesOverlay::FoundAxesOverlay(PictureView& view) : view_(view) { view_.addOverlay(this); }

FoundAxesOverlay::~FoundAxesOverlay() = default;

void FoundAxesOverlay::setFound(const FoundAxes& found, QSize picture)
{
    found_ = found;
    picture_ = picture;
    shown_ = true;
    view_.update();
}

void FoundAxesOverlay::clear()
{
    shown_ = false;
    view_.update();
}

void FoundAxesOverlay::paintOver(QPainter& painter, const ScreenMap& map) const
{
    if (!shown_ || map.empty() || map.picture() != picture_ || !found_.linesFound)
        return;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    // Bitmap coordinates to the view: a row's middle lies half a pixel below its top.
    const auto at = [&](double x, double y) { return QPointF(map.viewX(x), map.viewY(map.pictureYOf(y) + 0.5)); };
    for (const FoundAxis* a : {&found_.x, &found_.y}) {
        painter.setPen(QPen(a->sure ? kFound : kMisread, 2, Qt::DashLine));
        painter.drawLine(at(a->startX, a->startY), at(a->endX, a->endY));
        for (const FoundTick& t : a->ticks) {
            const QColor colour = t.misread ? kMisread : kFound;
            painter.setPen(QPen(colour, 1.5));
            painter.setBrush(Qt::NoBrush);
            const QPointF p = at(t.x, t.y);
            painter.drawEllipse(p, 4, 4);
            if (t.text.empty())
                continue;
            const QString text = t.valued && !t.misread ? QString::fromStdString(formatReal(t.value, "."))
                                                        : QString::fromStdString(t.text) + " ?";
            const QPointF label = at(t.labelRight, t.labelTop) + QPointF(3, -3);
            const QRectF box = painter.fontMetrics().boundingRect(text).translated(label.toPoint());
            painter.fillRect(box.adjusted(-2, -1, 2, 1), QColor(255, 255, 255, 220));
            painter.drawText(label, text);
        }
    }
    painter.restore();
}

} // namespace plotrun
