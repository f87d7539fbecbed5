#include "CoordinatesLabel.h"

#include "MarkingTool.h"
#include "PictureView.h"

#include "../../dialogs/Notice.h"
#include "ChartMap.h"
#include "NumberText.h"

#include <QEvent>

#include <cmath>

namespace plotrun {

namespace {

// The marks give a calibration: the origin on the picture, each reference
// beyond it, and real values that both axes can map.
bool marksHold(const ScanSettings& s)
{
    return s.OriginX >= 0 && s.OriginY >= 0 && s.RefX > s.OriginX && s.RefY > s.OriginY && ChartMap(s).usable();
}

} // namespace

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
    connect(&view_, &PictureView::pictureChanged, this, [this] {
        shown_.reset();
        clear();
    });
}

void CoordinatesLabel::setCalibrated(bool calibrated)
{
    calibrated_ = calibrated;
    calibrationChanged();
}

void CoordinatesLabel::calibrationChanged()
{
    if (shown_)
        showPosition(shown_->x(), shown_->y());
}

QPoint CoordinatesLabel::pixelAt(int x, int y) const { return view_.screenMap().markedPixel({x, y}, marking_.reach()); }

void CoordinatesLabel::showPosition(int x, int y)
{
    if (view_.picture().isNull())
        return;
    shown_ = QPoint(x, y);
    const QPoint at = pixelAt(x, y);
    QString text = QString("x: %1  y: %2").arg(at.x()).arg(at.y());
    if (calibrated_ && marksHold(settings_)) {
        // Shown only while the calibration gives numbers.
        const std::string sep = decimalSeparator();
        const ChartMap map(settings_);
        const ChartPoint real = map.toChart(at.x(), at.y());
        if (std::isfinite(real.x) && std::isfinite(real.y))
            text += QString("    X: %1  Y: %2")
                        .arg(QString::fromStdString(formatReal(real.x, sep)),
                             QString::fromStdString(formatReal(real.y, sep)));
    }
    setText(text);
}

bool CoordinatesLabel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &view_ && event->type() == QEvent::Leave) {
        shown_.reset();
        clear();
    }
    return QLabel::eventFilter(watched, event);
}

} // namespace plotrun
