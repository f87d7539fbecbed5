#include "CoordinatesLabel.h"

#include "MarkingTool.h"
#include "PictureView.h"

#include "../../dialogs/Notice.h"
#include "ChartMap.h"
#include "ChartScan.h"
#include "NumberText.h"

#include <QEvent>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace plotrun {

namespace {

// The marks give a calibration: the origin on the picture, each reference
// beyond it, and real values that both axes can map. In the other kinds,
// every mark the kind needs is set and the map can be made.
bool marksHold(const ScanSettings& s)
{
    if (!s.Calibration.aligned())
        return s.OriginX >= 0 && s.OriginY >= 0 && s.RefX >= 0 && s.RefY >= 0 && calibrationRefusal(s).empty() &&
               ChartMap(s).usable();
    return s.OriginX >= 0 && s.OriginY >= 0 && s.RefX > s.OriginX && s.RefY > s.OriginY && ChartMap(s).usable();
}

// The output's 15 significant digits are never exceeded.
constexpr int kMostDigits = 15;

} // namespace

std::string pixelResolvedReal(double value, double step, const std::string& sep)
{
    if (!std::isfinite(value) || !std::isfinite(step) || !(step > 0))
        return formatReal(value, sep);
    const int stepExponent = int(std::floor(std::log10(step)));
    const int exponent = value == 0 ? 0 : int(std::floor(std::log10(std::fabs(value))));
    char text[64];
    if (exponent >= -4 && exponent <= 14) {
        const int decimals = std::clamp(-stepExponent, 0, std::max(0, kMostDigits - 1 - exponent));
        std::snprintf(text, sizeof text, "%.*f", decimals, value);
    } else {
        const int digits = std::clamp(exponent - stepExponent + 1, 1, kMostDigits);
        std::snprintf(text, sizeof text, "%.*E", digits - 1, value);
        // The output's exponent form: no plus sign and no leading zeros.
        char* e = std::strchr(text, 'E');
        std::snprintf(e + 1, sizeof text - size_t(e + 1 - text), "%d", std::atoi(e + 1));
    }
    std::string out = text;
    // A value that rounds to zero shows no sign.
    if (out[0] == '-' && out.find_first_not_of("-0.") == std::string::npos)
        out.erase(0, 1);
    if (const size_t point = out.find('.'); point != std::string::npos)
        out.replace(point, 1, sep);
    return out;
}

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
        // One pixel's step there: on a logarithmic axis it grows with the value.
        const ChartPoint next = map.toChart(at.x() + 1, at.y() + 1);
        if (std::isfinite(real.x) && std::isfinite(real.y))
            text += QString("    X: %1  Y: %2")
                        .arg(QString::fromStdString(pixelResolvedReal(real.x, std::fabs(next.x - real.x), sep)),
                             QString::fromStdString(pixelResolvedReal(real.y, std::fabs(next.y - real.y), sep)));
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
