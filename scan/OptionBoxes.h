#pragma once
// The texts and checks of the options dialog's boxes: what the option
// checks judge and the option table names, in a header of its own so that
// neither of those two needs the other's.

#include "ScanSettings.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

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
    // The calibration group: the kind, as its index among the option
    // table's choices; X1's y, Y1's x and the corner C (empty: not set); the
    // further reference points, each as picture x, y, real x, real y; and
    // whether marks snap to line crossings.
    int32_t CalibrationKindIndex = 0;
    std::string SelX1Y, SelY1X, SelCX, SelCY;
    std::vector<std::array<std::string, 4>> ReferencePoints;
    bool SnapCheckBox = false;
    // The smoothing radius of halftoned pictures.
    std::string SelSmooth = "0";

    bool operator==(const OptionBoxes&) const = default;
};

} // namespace plotrun
