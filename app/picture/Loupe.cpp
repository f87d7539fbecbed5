#include "Loupe.h"

#include "MarkingTool.h"
#include "PictureView.h"

#include <QPainter>

namespace plotrun {

namespace {
constexpr int kMargin = 8;
} // namespace

Loupe::Loupe(PictureView& view, const MarkingTool& marking, QWidget* parent)
    : QWidget(parent), view_(view), marking_(marking)
{
    setObjectName("LoupeView");
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(kSide + 2, kSide + 2); // with a border
    hide();
    // Connected after the marking tool, so the tool has moved first.
    connect(&view_, &PictureView::mouseDown, this, [this](Qt::MouseButton, int x, int y) { follow(x, y); });
    connect(&view_, &PictureView::mouseMove, this, [this](int x, int y) { follow(x, y); });
    connect(&view_, &PictureView::mouseUp, this, [this](Qt::MouseButton, int x, int y) { follow(x, y); });
    connect(&view_, &PictureView::mouseLeft, this, [this] {
        if (!marking_.placingMark() && !marking_.dragging())
            hide();
    });
    // Escape leaves a mark mode without a move of the mouse.
    connect(&marking_, &MarkingTool::modeChanged, this, [this] {
        if (!marking_.wantsLoupe())
            hide();
    });
}

void Loupe::setWanted(bool wanted)
{
    wanted_ = wanted;
    if (!wanted)
        hide();
}

void Loupe::follow(int x, int y)
{
    if (!wanted_ || !marking_.wantsLoupe() || view_.picture().isNull()) {
        hide();
        return;
    }
    centre_ = view_.screenMap().takenPixel({x, y}, marking_.reach());
    render();

    // The corner of the shown picture across from the cursor.
    const QWidget* area = parentWidget();
    const QRect shown = QRect(view_.pos(), view_.size()).intersected(area->rect());
    const QPoint cursor = view_.mapTo(area, QPoint(x, y));
    const int left = cursor.x() < shown.center().x() ? shown.right() - kMargin - width() : shown.left() + kMargin;
    const int top = cursor.y() < shown.center().y() ? shown.bottom() - kMargin - height() : shown.top() + kMargin;
    move(left, top);
    show();
    raise();
    update();
}

// The pixels around the centre, from the picture itself; outside it, grey.
void Loupe::render()
{
    QImage pixels(kSpan, kSpan, QImage::Format_RGB32);
    pixels.fill(Qt::gray);
    {
        QPainter p(&pixels);
        const QPoint corner = centre_ - QPoint(kSpan / 2, kSpan / 2);
        const QRect wanted = QRect(corner, QSize(kSpan, kSpan)).intersected(view_.picture().rect());
        if (!wanted.isEmpty())
            p.drawImage(wanted.topLeft() - corner, view_.picture(), wanted);
    }
    shown_ = pixels.scaled(kSide, kSide, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

void Loupe::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setPen(Qt::black);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    p.drawImage(1, 1, shown_);
    // The cross hair leaves the taken pixel itself to be seen: a box around
    // it and four arms up to the box.
    const int lo = 1 + kZoom * (kSpan / 2), hi = lo + kZoom; // the block is lo .. hi - 1
    const int mid = lo + kZoom / 2;
    p.setPen(QPen(Qt::red, 1));
    p.drawRect(lo - 1, lo - 1, kZoom + 1, kZoom + 1);
    p.drawLine(mid, 1, mid, lo - 2);
    p.drawLine(mid, hi + 1, mid, kSide);
    p.drawLine(1, mid, lo - 2, mid);
    p.drawLine(hi + 1, mid, kSide, mid);
}

} // namespace plotrun
