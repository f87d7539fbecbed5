#include "MarkSettings.h"

#include "NumberText.h"

#include "../../dialogs/Notice.h"

#include <cmath>

namespace plotrun {

namespace {
QString number(double v) { return QString::fromStdString(formatReal(v, decimalSeparator())); }

// In the kinds other than the axes kind, O, X1, Y1 and C are full points of
// the picture, kept with their fractions.
MarkOutcome takeFullPoint(ScanSettings& s, MarkingTool::Mode mode, double x, double y)
{
    CalibrationSettings& c = s.Calibration;
    const std::pair<double*, double*> members[] = {
        {&s.OriginX, &s.OriginY}, {&s.RefX, &c.X1Y}, {&c.Y1X, &s.RefY}, {nullptr, nullptr}, {&c.CornerX, &c.CornerY}};
    const char* names[] = {"Origin", "X1", "Y1", "", "Corner C"};
    const auto [mx, my] = members[mode - 1];
    *mx = x;
    *my = y;
    return {QString(names[mode - 1]) + " set to: (" + number(x) + " , " + number(y) + " )"};
}

} // namespace

MarkOutcome takeMark(ScanSettings& s, MarkingTool::Mode mode, double x, double y)
{
    if (!s.Calibration.aligned() && mode != MarkingTool::StartMark && mode >= MarkingTool::OriginMark &&
        mode <= MarkingTool::CornerMark)
        return takeFullPoint(s, mode, x, y);
    MarkOutcome outcome;
    QString& text = outcome.status;
    switch (mode) {
    case MarkingTool::OriginMark: {
        s.OriginX = std::trunc(x);
        s.OriginY = std::trunc(y);
        text = "Origin set to: (" + number(s.OriginX) + " , " + number(s.OriginY) + " )";
        // A reference counts as set when it is above 0.
        const bool xSet = s.RefX > 0, ySet = s.RefY > 0;
        const bool xOut = s.RefX <= s.OriginX, yOut = s.RefY <= s.OriginY;
        if (xSet && ySet && xOut && yOut) {
            text += " => References X1 and Y1 are out of ranges!";
        } else {
            if (xSet && xOut)
                text += " => Reference X1 is out of range!";
            if (ySet && yOut)
                text += " => Reference Y1 is out of range!";
        }
        break;
    }
    case MarkingTool::X1Mark:
        s.RefX = std::trunc(x);
        text = "X1 set to: " + number(s.RefX);
        if (s.RefX <= s.OriginX) {
            outcome.referenceOutOfRange = true;
            text += " => Out of range!";
        }
        break;
    case MarkingTool::Y1Mark:
        s.RefY = std::trunc(y);
        text = "Y1 set to: " + number(s.RefY);
        if (s.RefY <= s.OriginY) {
            outcome.referenceOutOfRange = true;
            text += " => Out of range!";
        }
        break;
    case MarkingTool::StartMark:
        s.Follow.StartX = std::trunc(x);
        s.Follow.StartY = std::trunc(y);
        text = "Start point set to: (" + number(s.Follow.StartX) + " , " + number(s.Follow.StartY) + " )";
        break;
    default: break;
    }
    return outcome;
}

QString takeArea(ScanSettings& s, const MarkingTool::Area& area)
{
    s.ScanStartX = std::trunc(area.x1);
    s.ScanEndX = std::trunc(area.x2);
    s.ScanStartY = std::trunc(area.y1);
    s.ScanEndY = std::trunc(area.y2);
    return "Scan area set to: (" + number(s.ScanStartX) + ", " + number(s.ScanStartY) + ") - (" + number(s.ScanEndX) +
           ", " + number(s.ScanEndY) + ")";
}

} // namespace plotrun
