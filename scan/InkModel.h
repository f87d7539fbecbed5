#pragma once
// The ink model: an anti-aliased pixel of a curve is a mix of ink and paper.
// Its share of ink is its projection onto the line from the paper colour to
// the ink colour; its distance from that line is how much of another colour
// it holds. All in whole numbers, so that every caller agrees to the bit.

#include "PixelView.h"
#include "ScanSettings.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plotrun {

class InkModel {
public:
    explicit InkModel(const InkSettings& s)
        : pr_(red(s.Paper)), pg_(green(s.Paper)), pb_(blue(s.Paper)), dr_(red(s.Ink) - pr_), dg_(green(s.Ink) - pg_),
          db_(blue(s.Ink) - pb_), dd_(dr_ * dr_ + dg_ * dg_ + db_ * db_),
          tolerance2dd_(s.Tolerance < 0 ? -1 : int64_t(s.Tolerance) * s.Tolerance * dd_)
    {
    }

    static int32_t red(uint32_t c) { return int32_t(c & 0xFFu); }
    static int32_t green(uint32_t c) { return int32_t((c >> 8) & 0xFFu); }
    static int32_t blue(uint32_t c) { return int32_t((c >> 16) & 0xFFu); }

    // Ink and paper of the same colour draw no line: nothing counts.
    bool usable() const { return dd_ > 0; }

    // The projection of (colour - paper) onto (ink - paper): the ink share
    // times |ink - paper|^2.
    int32_t projection(uint32_t c) const { return projection(red(c), green(c), blue(c)); }
    int32_t projection(int32_t r, int32_t g, int32_t b) const
    {
        return (r - pr_) * dr_ + (g - pg_) * dg_ + (b - pb_) * db_;
    }

    // The weight W = round(255 * share), the share clipped to 0..1; or -1
    // when the pixel is the paper itself or lies farther from the line than
    // the tolerance.
    int32_t weight(uint32_t colour) const { return weight(red(colour), green(colour), blue(colour)); }
    int32_t weight(int32_t r, int32_t g, int32_t b) const
    {
        if ((r == pr_ && g == pg_ && b == pb_) || dd_ == 0)
            return -1;
        const int64_t vr = r - pr_, vg = g - pg_, vb = b - pb_;
        const int64_t vv = vr * vr + vg * vg + vb * vb;
        const int64_t p = vr * dr_ + vg * dg_ + vb * db_;
        // distance^2 = |v|^2 - p^2 / dd, compared without dividing.
        if (vv * dd_ - p * p > tolerance2dd_)
            return -1;
        return weightOfProjection(p);
    }

    int32_t weightOfProjection(int64_t p) const
    {
        if (p <= 0)
            return 0;
        if (p >= dd_)
            return 255;
        return static_cast<int32_t>((510 * p + dd_) / (2 * dd_)); // round half up
    }

    // The smallest projection whose weight reaches a threshold of 1 to 255.
    int64_t projectionFor(int32_t threshold) const
    {
        // W >= T  <=>  510 p + dd >= 2 dd T  <=>  p >= ceil((2T - 1) dd / 510)
        const int64_t n = (2 * int64_t(threshold) - 1) * dd_;
        return (n + 509) / 510;
    }

private:
    int32_t pr_, pg_, pb_;
    int32_t dr_, dg_, db_;
    int64_t dd_;
    int64_t tolerance2dd_; // tolerance^2 * dd; negative for a negative tolerance
};

// The most ink-like colour within `radius` pixels of (x, row): the one
// farthest from the paper, the nearest such when several are. The pixel
// under a thin line's centre is often an anti-aliased mix, so one is not
// taken alone. The paper itself when the neighbourhood is outside the picture.
uint32_t mostInkLike(const PixelView& picture, int64_t x, int64_t row, int32_t radius, uint32_t paper);

// A colour as "#rrggbb".
std::string colourText(uint32_t colour);
// "R,G,B" (each 0 to 255) or "#rrggbb"; nothing when the text is neither.
std::optional<uint32_t> readColour(std::string_view text);

} // namespace plotrun
