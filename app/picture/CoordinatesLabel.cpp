#include "CoordinatesLabel.h"

#include "MarkingTool.h"
#include "PictureView.h"

#include "../../dialogs/Notice.h"
#include "Calibration.h"
#include "NumberText.h"

#include <QEvent>

#include <cmath>

namespace plotrun {

CoordinatesLabel::CoordinatesLabel(PictureView& view, const MarkingTool& marking, const ScanSettings& settings,
                                   QWidget* parent)
    : QLabel(parent), view_(view), marking_(marking), settings_(settings)
{
    setObjectName("CoordinatesLabel");
    setMinimumWidth(fontMetrics().horizontalAdvance("x: 00000  y: 00000"));
    // Moves without a button pressed are reported too; the marking tool acts
    // on moves only while a mark is placed or an area drawn.
    view_.setMouseTracking(true);
    view_.installEventFilter(this);
    connect(&view_, &PictureView::mouseMove, this, &CoordinatesLabel::showPosition);
}

void CoordinatesLabel::setPicture(int width, int height)
{
    pictureWidth_ = width;
    pictureHeight_ = height;
    clear();
}

QPoint CoordinatesLabel::pixelAt(int x, int y) const { return marking_.markedPixel(x, y); }

void CoordinatesLabel::showPosition(int x, int y)
{
    if (pictureWidth_ < 1 || pictureHeight_ < 1)
        return;
    const QPoint at = pixelAt(x, y);
    QString text = QString("x: %1  y: %2").arg(at.x()).arg(at.y());
    if (calibrated_) {
        // Shown only while the calibration gives numbers.
        const std::string sep = decimalSeparator();
        const double rx = AxisMap::forX(settings_).toReal(at.x()), ry = AxisMap::forY(settings_).toReal(at.y());
        if (std::isfinite(rx) && std::isfinite(ry))
            text += QString("    X: %1  Y: %2")
                        .arg(QString::fromStdString(formatReal(rx, sep)), QString::fromStdString(formatReal(ry, sep)));
    }
    setText(text);
}

bool CoordinatesLabel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &view_ && event->type() == QEvent::Leave)
        clear();
    return QLabel::eventFilter(watched, event);
}

} // namespace plotrun
