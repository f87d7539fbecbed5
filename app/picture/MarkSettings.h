#pragma once
// What a mark or an area placed with the mouse does to the Scan settings,
// and what the status bar then says.

#include "MarkingTool.h"
#include "ScanSettings.h"

#include <QString>

namespace plotrun {

struct MarkOutcome {
    QString status;
    bool referenceOutOfRange = false; // X1 or Y1 is not beyond the origin: Execute goes off
};

// Takes the mark's exact picture position into the settings: truncated
// along the picture; in the other kinds O, X1, Y1 and C as full points with
// their fractions.
MarkOutcome takeMark(ScanSettings& settings, MarkingTool::Mode mode, double x, double y);

// Takes the drawn area into the settings, truncated; gives the status text.
QString takeArea(ScanSettings& settings, const MarkingTool::Area& area);

} // namespace plotrun
