#include "ChartPicture.h"

#include <algorithm>
#include <cmath>

namespace plotrun::bench {

std::vector<uint32_t> drawCurves(int width, int height)
{
    std::vector<uint32_t> px(size_t(width) * height, 0xFFFFFFFFu);
    struct Curve {
        double amplitude, frequency, phase;
        uint32_t r, g, b;
    };
    const Curve curves[] = {{0.30, 3.0, 0.0, 20, 20, 120}, {0.20, 7.0, 1.0, 0, 0, 0}, {0.35, 1.5, 2.0, 200, 30, 30}};
    const double thickness = std::max(1.0, height / 2000.0);
    for (const Curve& c : curves) {
        for (int x = 0; x < width; ++x) {
            const double t = double(x) / width * 2 * M_PI;
            const double y = height * (0.5 + c.amplitude * std::sin(c.frequency * t + c.phase));
            const double slope =
                height * c.amplitude * c.frequency * 2 * M_PI / width * std::cos(c.frequency * t + c.phase);
            const double half = thickness * std::sqrt(1 + slope * slope) / 2 + 1;
            for (int row = std::max(0, int(y - half - 1)); row <= std::min(height - 1, int(y + half + 1)); ++row) {
                // Coverage falls off linearly over the last pixel at each edge.
                const double cover = std::clamp(half - std::fabs(row + 0.5 - y), 0.0, 1.0);
                if (cover <= 0)
                    continue;
                uint32_t& p = px[size_t(row) * width + x];
                const auto mix = [cover](uint32_t ink, uint32_t old) {
                    return std::min(old, uint32_t(std::lround(255 - cover * (255 - ink))));
                };
                const uint32_t r = mix(c.r, p & 0xFF), g = mix(c.g, (p >> 8) & 0xFF), b = mix(c.b, (p >> 16) & 0xFF);
                p = 0xFF000000u | b << 16 | g << 8 | r;
            }
        }
    }
    return px;
}

} // namespace plotrun::bench
