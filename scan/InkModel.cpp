#include "InkModel.h"

#include <charconv>

namespace plotrun {

uint32_t mostInkLike(const PixelView& pic, int64_t x, int64_t row, int32_t radius, uint32_t paper)
{
    uint32_t best = paper & 0xFFFFFFu;
    int64_t bestDistance = -1, bestNear = 0;
    for (int64_t dy = -radius; dy <= radius; ++dy) {
        for (int64_t dx = -radius; dx <= radius; ++dx) {
            const uint32_t c = pic.colourAt(x + dx, row + dy);
            if (c == PixelView::kOutsidePixel)
                continue;
            int64_t distance = 0;
            for (int i = 0; i < 3; ++i) {
                const int64_t d = int64_t((c >> (8 * i)) & 0xFF) - int64_t((paper >> (8 * i)) & 0xFF);
                distance += d * d;
            }
            const int64_t near = dx * dx + dy * dy;
            if (distance > bestDistance || (distance == bestDistance && near < bestNear)) {
                best = c;
                bestDistance = distance;
                bestNear = near;
            }
        }
    }
    return best;
}

std::string colourText(uint32_t c)
{
    static const char digits[] = "0123456789abcdef";
    std::string text = "#";
    for (int i = 0; i < 3; ++i) {
        const uint32_t v = (c >> (8 * i)) & 0xFFu;
        text += digits[v >> 4];
        text += digits[v & 0xF];
    }
    return text;
}

std::optional<uint32_t> readColour(std::string_view t)
{
    uint32_t out = 0;
    if (!t.empty() && t.front() == '#') {
        if (t.size() != 7)
            return std::nullopt;
        for (int i = 0; i < 3; ++i) {
            uint32_t v = 0;
            const char* b = t.data() + 1 + 2 * i;
            const auto [end, ec] = std::from_chars(b, b + 2, v, 16);
            if (ec != std::errc() || end != b + 2)
                return std::nullopt;
            out |= v << (8 * i);
        }
        return out;
    }
    for (int i = 0; i < 3; ++i) {
        const size_t comma = t.find(',');
        if ((comma == std::string_view::npos) != (i == 2))
            return std::nullopt;
        const std::string_view part = t.substr(0, comma);
        uint32_t v = 0;
        const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), v);
        if (part.empty() || ec != std::errc() || end != part.data() + part.size() || v > 255)
            return std::nullopt;
        out |= v << (8 * i);
        t = comma == std::string_view::npos ? std::string_view() : t.substr(comma + 1);
    }
    return out;
}

} // namespace plotrun
