#pragma once
// The two records that steer a scan: the Scan settings owned by the main
// window, and the Output field settings that the output fields dialog holds.

#include <array>
#include <cstdint>
#include <string>

namespace plotrun {

// Bitmap positions are whole numbers held in doubles; -1 means "not set".
struct ScanSettings {
    bool WeightedX = false;
    int32_t ScanWidth = 1;
    int32_t Threshold = 0;
    double OriginX = -1;
    double OriginY = -1;
    double RefX = -1;
    double RefY = -1;
    double RealOriginX = 0;
    double RealOriginY = 0;
    double RealRefX = -1;
    double RealRefY = -1;
    double ScanStartX = -1;
    double ScanStartY = -1;
    double ScanEndX = -1;
    double ScanEndY = -1;
    bool HasRealOriginX = true;
    bool HasRealOriginY = true;
    bool HasRealRefX = false;
    bool HasRealRefY = false;

    bool operator==(const ScanSettings&) const = default;
};

// The data columns of a result, in the fixed order of the output grid.
enum class Field { RealX, RealY, Sdev, SdevY, BitmapX, BitmapY };
inline constexpr int kFieldCount = 6;

struct OutputFields {
    std::string delimiter = ",";
    bool scanningParameters = false;
    bool columnNames = false;
    bool realCoordinates = true;
    bool sdev = false;
    bool sdevY = false;
    bool bitmapCoordinates = false;
    // Indexed by Field.
    std::array<std::string, kFieldCount> names{"X", "Y", "SDEV", "SDEV/Y", "X [px]", "Y [px]"};

    bool wantsSpread() const { return sdev || sdevY; }
    const std::string& name(Field f) const { return names[static_cast<int>(f)]; }

    bool operator==(const OutputFields&) const = default;
};

// The start delimiter follows the user's decimal separator, so that a
// delimiter never collides with the numbers it separates.
inline std::string startDelimiter(const std::string& decimalSeparator)
{
    if (decimalSeparator == ".")
        return ",";
    if (decimalSeparator == ";")
        return "\t";
    return ";";
}

} // namespace plotrun
