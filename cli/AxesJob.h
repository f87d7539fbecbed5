#pragma once
// The scanner's --find-axes and --find-area: the calibration and the area
// found on the picture, printed as the flags that give them.

#include "ScanFlags.h"

#include <QStringList>

#include <ostream>

namespace plotrun {

// What was found: the flags to scan with, or the exit code when the run
// ends here (printed only, or not found with confidence).
struct AxesJob {
    bool scan = false;
    int code = 0;
    QStringList flags;
};

// Finds what `o` asks for on its one picture and prints it to `err`: the
// flags on one line, then the labels read as misread, each on a line.
AxesJob findOnPicture(const Options& o, std::ostream& err);

} // namespace plotrun
