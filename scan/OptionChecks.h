#pragma once
// The checks that the options dialog runs on OK, over the texts of its boxes.
// The boxes of whole numbers, the check boxes and the colours are judged as
// the option table (ScanOptions.h) says; the calibration, the area, the scan
// width and the threshold by rules of their own.

#include "OptionBoxes.h"
#include "ScanSettings.h"

#include <string>
#include <string_view>

namespace plotrun {

struct OptionVerdict {
    ScanSettings record;  // to be written in every case, fallbacks put in
    OptionBoxes boxes;    // what each box holds afterwards
    std::string messages; // every refusal, in the order of the checks
    bool inputValid = true;
};

// Every box is read and judged; none of the checks stops the others.
// `working` is the record as it was when the dialog was shown; width and
// height are the current picture's size.
OptionVerdict checkOptions(const OptionBoxes& typed, const ScanSettings& working, int32_t width, int32_t height,
                           std::string_view decimalSeparator);

// The boxes as the dialog fills them from the record when it is shown
// (the threshold box is left as it is).
OptionBoxes boxesFromRecord(const ScanSettings& record, const std::string& threshold,
                            std::string_view decimalSeparator);

} // namespace plotrun
