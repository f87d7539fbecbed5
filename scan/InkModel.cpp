#include "InkModel.h"

#include <charconv>

namespace plotrun {

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
