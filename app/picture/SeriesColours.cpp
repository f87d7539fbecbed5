#include "SeriesColours.h"

#include <array>

namespace plotrun {

QColor inkColour(uint32_t ink) { return QColor(int(ink & 0xFF), int((ink >> 8) & 0xFF), int((ink >> 16) & 0xFF)); }

QColor seriesColour(const std::vector<SeriesSettings>& series, size_t index)
{
    if (index >= series.size())
        return Qt::black;
    if (series[index].HasInk)
        return inkColour(series[index].Ink);
    // Bright hues, far from black and grey ink and from one another.
    static constexpr std::array<QRgb, 6> kPalette = {0xFFFF00DC, 0xFFFF8C00, 0xFF00B4B4,
                                                     0xFF8C3CFF, 0xFF50C800, 0xFFE6C800};
    size_t darkness = 0;
    for (size_t i = 0; i < index; ++i)
        darkness += series[i].HasInk ? 0 : 1;
    return QColor(kPalette[darkness % kPalette.size()]);
}

QColor seriesTint(const QColor& colour)
{
    // Black, grey and washed-out ink: magenta, as the plain view tints them.
    if (colour.hslSaturation() < 60 || colour.value() < 60)
        return QColor(255, 0, 220, 230);
    // The ink's hue, bright and light: the counted curve turns pale.
    return QColor::fromHsl(colour.hslHue(), 255, 175, 230);
}

} // namespace plotrun
