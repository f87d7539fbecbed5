#include "OptionChecks.h"

#include "NumberText.h"

#include <algorithm>
#include <optional>

namespace plotrun {

namespace {

class Judge {
public:
    Judge(std::string_view sep) : sep_(sep) {}

    void refuse(const std::string& message)
    {
        messages += message;
        valid = false;
    }
    std::string show(double v) const { return formatReal(v, sep_); }
    std::string showIf(bool shown, double v) const { return shown ? show(v) : std::string(); }

    std::string messages;
    bool valid = true;

private:
    std::string_view sep_;
};

} // namespace

OptionVerdict checkOptions(const OptionBoxes& typed, const ScanSettings& start, int32_t W, int32_t H,
                           std::string_view sep)
{
    ScanSettings w = start; // the working copy
    OptionBoxes box = typed;
    Judge j(sep);

    // The area, one axis at a time: 1 to 4 for x, 5 to 8 for y. An accepted
    // value goes into the working copy at once, so the end's fallback sees
    // the start just accepted.
    const auto area = [&](std::string& startBox, std::string& endBox, double& wStart, double& wEnd, int32_t size,
                          const char* badStart, const char* badEnd, const char* startRange, const char* endRange) {
        const std::optional<double> s = readBitmap(startBox, sep);
        const std::optional<double> e = readBitmap(endBox, sep);
        if (!s) {
            j.refuse(badStart);
            startBox = j.showIf(wStart >= 0, wStart);
        }
        if (!e) {
            j.refuse(badEnd);
            endBox = j.showIf(wEnd >= 0, wEnd);
        }
        if (s) {
            if (*s < 0 || *s > size - 1) {
                j.refuse(startRange);
                startBox = j.showIf(wStart >= 0, wStart);
            } else {
                wStart = *s;
            }
        }
        if (e) {
            // The end is compared with the start as read, refused or not.
            const bool out = s ? (*e <= *s || *e > size) : (*e < 1 || *e > size);
            if (out) {
                j.refuse(endRange);
                if (wEnd > wStart) {
                    endBox = j.show(wEnd);
                } else {
                    endBox.clear();
                    wEnd = -1;
                }
            } else {
                wEnd = *e;
            }
        }
        return std::pair{s, e};
    };
    const auto [sx1, sx2] = area(box.SelSX1, box.SelSX2, w.ScanStartX, w.ScanEndX, W, "Invalid X start scan value\n",
                                 "Invalid X end scan value\n", "Start X scan point out of range.\n",
                                 "End X scan point out of range.\n");
    area(box.SelSY1, box.SelSY2, w.ScanStartY, w.ScanEndY, H, "Invalid Y start scan value\n",
         "Invalid Y end scan value\n", "Start Y scan point out of range.\n", "End Y scan point out of range.\n");

    // 9 and 10: the scan width. Check 10 runs only while nothing so far was
    // refused; when it did not run, the record's width becomes 1.
    int32_t scanWidth = 1;
    const std::optional<int32_t> sw = readWhole(box.SelSW);
    if (!sw) {
        j.refuse("Invalid scan width\n");
        box.SelSW = formatWhole(w.ScanWidth);
    }
    if (j.valid) {
        const double span = *sx2 - *sx1;
        if (*sw < 1 || *sw > span) {
            j.refuse(*sw < 1 ? std::string("Scan width must be 1.\n")
                             : "Scan width must between 1 and " + formatReal(span, sep) + ".\n");
            box.SelSW = formatWhole(w.ScanWidth);
            scanWidth = w.ScanWidth;
        } else {
            scanWidth = *sw;
        }
    }

    // 11 and 12: an unreadable threshold falls back to the working one,
    // which is then judged as if it had been typed.
    std::optional<int32_t> threshold = readWhole(box.Threshold);
    if (!threshold) {
        j.refuse("Invalid threshold value\n");
        threshold = w.Threshold;
        box.Threshold = formatWhole(w.Threshold);
    }
    if (*threshold < 1 || *threshold > 255) {
        j.refuse("Threshold must be between 1 and 255\n");
        threshold = w.Threshold;
        box.Threshold = formatWhole(w.Threshold);
    }

    // 13 to 20: the bitmap positions of the references.
    const auto position = [&](std::string& text, double fallback, bool shownWhen, const char* bad, const char* out,
                              auto refused) {
        const std::optional<double> v = readBitmap(text, sep);
        if (!v || refused(*v)) {
            j.refuse(v ? out : bad);
            text = j.showIf(shownWhen, fallback);
            return fallback;
        }
        return *v;
    };
    const double ox = position(box.SelOX, w.OriginX, w.OriginX >= 0, "Origin X is not a valid number\n",
                               "Origin X is out of range\n", [&](double v) { return v < 0 || v >= W; });
    const double oy = position(box.SelOY, w.OriginY, w.OriginY >= 0, "Origin Y is not a valid number\n",
                               "Origin Y is out of range\n", [&](double v) { return v < 0 || v >= H; });
    const double rx = position(box.SelX, w.RefX, w.RefX > 0, "Reference X is not a valid number\n",
                               "Reference X is out of range\n",
                               [&](double v) { return v <= std::max(ox, 0.0) || v > W; });
    const double ry = position(box.SelY, w.RefY, w.RefY > 0, "Reference Y is not a valid number\n",
                               "Reference Y is out of range\n",
                               [&](double v) { return v <= std::max(oy, 0.0) || v > H; });

    // 21 to 26: the real coordinates, x then y.
    const auto real = [&](std::string& originBox, std::string& refBox, double& realOrigin, bool& hasOrigin,
                          double& realRef, bool& hasRef, const char* badOrigin, const char* badRef,
                          const char* same) {
        if (const std::optional<double> o = readReal(originBox, sep)) {
            realOrigin = *o;
            hasOrigin = true;
        } else {
            j.refuse(badOrigin);
            originBox = j.showIf(hasOrigin, realOrigin);
        }
        const std::optional<double> r = readReal(refBox, sep);
        const bool equal = r && hasOrigin && *r == realOrigin;
        if (r && !equal) {
            realRef = *r;
            hasRef = true;
            return;
        }
        j.refuse(r ? same : badRef);
        if (hasRef && realRef != realOrigin) {
            refBox = j.show(realRef);
        } else {
            refBox.clear();
            hasRef = false;
            if (equal)
                realRef = -1;
        }
    };
    real(box.SelOXR, box.SelXR, w.RealOriginX, w.HasRealOriginX, w.RealRefX, w.HasRealRefX,
         "Real origin X is not a valid number\n", "Real reference X is not a valid number\n",
         "Real X cannot be same as real origin X\n");
    real(box.SelOYR, box.SelYR, w.RealOriginY, w.HasRealOriginY, w.RealRefY, w.HasRealRefY,
         "Real origin Y is not a valid number\n", "Real reference Y is not a valid number\n",
         "Real Y cannot be same as real origin Y\n");

    OptionVerdict v;
    v.record = w;
    v.record.Threshold = *threshold;
    v.record.OriginX = ox;
    v.record.OriginY = oy;
    v.record.RefX = rx;
    v.record.RefY = ry;
    v.record.WeightedX = typed.SelWt;
    v.record.ScanWidth = scanWidth;
    v.boxes = box;
    v.messages = j.messages;
    v.inputValid = j.valid;
    return v;
}

OptionBoxes boxesFromRecord(const ScanSettings& r, const std::string& threshold, std::string_view sep)
{
    const auto bitmap = [&](double v) { return v > -1 ? formatReal(v, sep) : std::string(); };
    const auto real = [&](bool given, double v) { return given ? formatReal(v, sep) : std::string(); };
    OptionBoxes b;
    b.SelSW = formatWhole(r.ScanWidth);
    b.Threshold = threshold;
    b.SelWt = r.WeightedX;
    b.SelOX = bitmap(r.OriginX);
    b.SelOY = bitmap(r.OriginY);
    b.SelX = bitmap(r.RefX);
    b.SelY = bitmap(r.RefY);
    b.SelSX1 = bitmap(r.ScanStartX);
    b.SelSY1 = bitmap(r.ScanStartY);
    b.SelSX2 = bitmap(r.ScanEndX);
    b.SelSY2 = bitmap(r.ScanEndY);
    b.SelOXR = real(r.HasRealOriginX, r.RealOriginX);
    b.SelOYR = real(r.HasRealOriginY, r.RealOriginY);
    b.SelXR = real(r.HasRealRefX, r.RealRefX);
    b.SelYR = real(r.HasRealRefY, r.RealRefY);
    return b;
}

} // namespace plotrun
