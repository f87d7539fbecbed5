#include "PictureView.h"

#include <QMouseEvent>
#include <QPainter>

#include <cmath>

namespace plotrun {

namespace {
// A huge picture is shown through a copy of at most this many pixels, so
// that resizing the window never rescales tens of megapixels.
constexpr qint64 kPreviewPixels = 4'000'000;
} // namespace

PictureView::PictureView(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Moves are followed without a button too, for the loupe.
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
}

void PictureView::setFitted(bool fitted)
{
    fitted_ = fitted;
    update();
}

void PictureView::setPicture(const QImage& picture)
{
    picture_ = picture;
    const qint64 pixels = qint64(picture.width()) * picture.height();
    if (pixels > kPreviewPixels) {
        const double f = std::sqrt(double(kPreviewPixels) / double(pixels));
        preview_ = picture.scaled(std::max(1, int(picture.width() * f)), std::max(1, int(picture.height() * f)),
                                  Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    } else {
        preview_ = picture;
    }
    display_ = QPixmap();
    update();
    emit pictureChanged();
}

QRect PictureView::shownRect() const
{
    const QRect shown = visibleRegion().boundingRect();
    return shown.isEmpty() ? rect() : shown;
}

const QPixmap& PictureView::displayCopy()
{
    if (display_.size() != size() && !preview_.isNull() && width() > 0 && height() > 0) {
        // Enlarged, every picture pixel stays a sharp block, so that marks can
        // be put on the pixel meant; reduced, the picture is smoothed.
        const bool enlarged = width() >= preview_.width() && height() >= preview_.height();
        display_ = QPixmap::fromImage(preview_.scaled(size(), Qt::IgnoreAspectRatio,
                                                      enlarged ? Qt::FastTransformation : Qt::SmoothTransformation));
    }
    return display_;
}

void PictureView::paintEvent(QPaintEvent* event)
{
    QPainter p(this);
    if (preview_.isNull())
        p.fillRect(rect(), palette().window());
    else if (fitted_)
        p.drawPixmap(0, 0, displayCopy());
    else
        paintZoomed(p, event->rect());
    const ScreenMap map = screenMap();
    for (const PictureOverlay* o : overlays_) {
        p.save();
        o->paintOver(p, map);
        p.restore();
    }

    // Shapes are placed in the client area's coordinates.
    p.translate(-frame().topLeft());
    std::vector<Shape> shapes(shapes_.begin(), shapes_.end());
    for (const QRect& r : referencePoints_)
        shapes.push_back({Shape::Look::CrossedCircle, r, true});
    for (const Shape& s : shapes) {
        if (!s.visible || s.bounds.width() <= 0 || s.bounds.height() <= 0)
            continue;
        switch (s.look) {
        case Shape::Look::Circle:
            // The pen's colour masked with the inverse of the screen; with a
            // white pen that is the inverse itself, visible on paper and ink.
            p.setCompositionMode(QPainter::RasterOp_SourceAndNotDestination);
            p.setPen(QPen(Qt::white, 1));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(s.bounds.adjusted(0, 0, -1, -1));
            break;
        case Shape::Look::DottedLine:
            p.setCompositionMode(QPainter::CompositionMode_SourceOver);
            p.setPen(QPen(Qt::blue, 1, Qt::DotLine));
            if (s.bounds.width() == 1)
                p.drawLine(s.bounds.left(), s.bounds.top(), s.bounds.left(), s.bounds.bottom());
            else
                p.drawLine(s.bounds.left(), s.bounds.top(), s.bounds.right(), s.bounds.top());
            break;
        case Shape::Look::CrossedCircle: {
            // Inverting, as the origin's circle, with a cross on the point.
            p.setCompositionMode(QPainter::RasterOp_SourceAndNotDestination);
            p.setPen(QPen(Qt::white, 1));
            p.setBrush(Qt::NoBrush);
            const QRect r = s.bounds.adjusted(0, 0, -1, -1);
            p.drawEllipse(r);
            const QPoint c = r.center();
            p.drawLine(c.x() - r.width() / 2 + 2, c.y(), c.x() + r.width() / 2 - 2, c.y());
            p.drawLine(c.x(), c.y() - r.height() / 2 + 2, c.x(), c.y() + r.height() / 2 - 2);
            break;
        }
        case Shape::Look::Outline:
            // A dotted pen that inverts the screen under it.
            p.setCompositionMode(QPainter::RasterOp_NotDestination);
            p.setPen(QPen(Qt::black, 1, Qt::DotLine));
            p.setBrush(Qt::NoBrush);
            if (&s == &shapes[size_t(Mark::ScanArea)] && !areaPolygon_.isEmpty())
                p.drawPolygon(areaPolygon_);
            else
                p.drawRect(s.bounds.adjusted(0, 0, -1, -1));
            break;
        }
    }
}

// Zoomed, the control can be far larger than any pixmap: only the exposed
// part is drawn, each picture pixel a sharp block when enlarged. The picture
// itself is the source once the zoom shows more than its reduced copy holds.
void PictureView::paintZoomed(QPainter& p, const QRect& exposed)
{
    const bool fine = width() > preview_.width() || height() > preview_.height();
    const QImage& source = fine ? picture_ : preview_;
    const double sx = double(source.width()) / width(), sy = double(source.height()) / height();
    const QRectF from(exposed.x() * sx, exposed.y() * sy, exposed.width() * sx, exposed.height() * sy);
    const bool enlarged = width() >= source.width() && height() >= source.height();
    p.setRenderHint(QPainter::SmoothPixmapTransform, !enlarged);
    p.drawImage(QRectF(exposed), source, from);
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
}

bool PictureView::onScanShape(const QPoint& local) const
{
    const Shape& outline = shape(Mark::ScanArea);
    return outline.visible && outline.bounds.contains(local + frame().topLeft());
}

void PictureView::mousePressEvent(QMouseEvent* e)
{
    const QPoint at = e->position().toPoint();
    pressOnScanShape_ = onScanShape(at);
    // Every press is told, on the outline too: Pick from picture takes a
    // click anywhere, and the marking tool starts nothing while an area is there.
    emit mouseDown(e->button(), at.x(), at.y());
}

void PictureView::mouseMoveEvent(QMouseEvent* e)
{
    const QPoint at = e->position().toPoint();
    emit mouseMove(at.x(), at.y());
}

void PictureView::mouseReleaseEvent(QMouseEvent* e)
{
    const QPoint at = e->position().toPoint();
    if (pressOnScanShape_ && onScanShape(at)) {
        pressOnScanShape_ = false;
        emit scanShapeMouseUp(e->button());
        return;
    }
    pressOnScanShape_ = false;
    emit mouseUp(e->button(), at.x(), at.y());
}

} // namespace plotrun

namespace plotrun {

void PictureView::keyPressEvent(QKeyEvent* e)
{
    bool used = false;
    emit keyPressed(e->key(), e->modifiers(), used);
    if (!used)
        QWidget::keyPressEvent(e); // the scroll area scrolls by the keys left over
}

void PictureView::leaveEvent(QEvent* e)
{
    emit mouseLeft();
    QWidget::leaveEvent(e);
}

void PictureView::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    emit resized();
}

} // namespace plotrun
