#pragma once
// The checks that the options dialog runs on OK, over the texts of its boxes.
// The boxes of whole numbers, the check boxes and the colours are judged as
// the option table (ScanOptions.h) says; the calibration, the area, the scan
// width and the threshold by rules of their own.

#include "ScanSettings.h"

#include <string>
#include <string_view>

namespace plotrun {

// The texts of the options dialog's boxes, named after them.
struct OptionBoxes {
    std::string SelSW = "1";
    std::string Threshold = "128";
    std::string SelOX, SelOY, SelOXR = "0", SelOYR = "0";
    std::string SelX, SelXR;
    std::string SelY, SelYR;
    std::string SelSX1, SelSY1, SelSX2, SelSY2;
    bool SelWt = false;
    // The "Logarithmic" boxes of the X and Y reference groups.
    bool LogXCheckBox = false;
    bool LogYCheckBox = false;
    // The ink group: its check box, the two colour swatches and the tolerance.
    bool InkCheckBox = false;
    uint32_t InkColour = 0x000000;
    uint32_t PaperColour = 0xFFFFFF;
    std::string SelInkTol = std::to_string(InkSettings::kDefaultTolerance);
    // The follow group: "Follow one curve", "Leave out axis and grid lines",
    // the gap and the maximum jump (empty: the automatic one).
    bool FollowCheckBox = false;
    bool RemoveLinesCheckBox = false;
    std::string SelGap = std::to_string(FollowSettings::kDefaultGap);
    std::string SelMaxJump;

    bool operator==(const OptionBoxes&) const = default;
};

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
