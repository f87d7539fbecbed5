#include "OptionChecks.h"

#include "Calibration.h"
#include "NumberText.h"
#include "ScanOptions.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <tuple>
#include <utility>

namespace plotrun {

namespace {

// One OK of the options dialog: the working copy, the boxes as they will be
// left, and every refusal collected in the order of the checks.
class OptionCheck {
public:
    OptionCheck(const OptionBoxes& typed, const ScanSettings& working, int32_t width, int32_t height,
                std::string_view sep)
        : values_{working}, w_(values_.record), box_(typed), W_(width), H_(height), sep_(sep),
          aligned_(static_cast<CalibrationKind>(typed.CalibrationKindIndex) == CalibrationKind::Axes),
          fractional_(!aligned_ || typed.SnapCheckBox)
    {
    }

    OptionVerdict run()
    {
        checkScanArea();
        checkScanWidth();
        checkThreshold();
        checkReferencePositions();
        checkRealCoordinates();
        checkCalibrationRange();
        checkCalibrationMarks();
        checkTableOptions();
        checkInkColours();

        OptionVerdict v;
        v.record = w_;
        v.record.Threshold = threshold_;
        v.record.OriginX = ox_;
        v.record.OriginY = oy_;
        v.record.RefX = rx_;
        v.record.RefY = ry_;
        v.record.ScanWidth = scanWidth_;
        v.boxes = box_;
        v.messages = messages_;
        v.inputValid = valid_;
        return v;
    }

private:
    void refuse(const std::string& message)
    {
        messages_ += message;
        valid_ = false;
    }
    std::string show(double v) const { return formatReal(v, sep_); }
    std::string showIf(bool shown, double v) const { return shown ? show(v) : std::string(); }

    // The area, x then y. An accepted value goes into the working copy at
    // once, so the end's fallback sees the start just accepted.
    void checkScanArea()
    {
        std::tie(startX_, endX_) = checkAreaAxis(
            box_.SelSX1, box_.SelSX2, w_.ScanStartX, w_.ScanEndX, W_, "Invalid X start scan value\n",
            "Invalid X end scan value\n", "Start X scan point out of range.\n", "End X scan point out of range.\n");
        checkAreaAxis(box_.SelSY1, box_.SelSY2, w_.ScanStartY, w_.ScanEndY, H_, "Invalid Y start scan value\n",
                      "Invalid Y end scan value\n", "Start Y scan point out of range.\n",
                      "End Y scan point out of range.\n");
    }

    std::pair<std::optional<double>, std::optional<double>> checkAreaAxis(std::string& startBox, std::string& endBox,
                                                                          double& wStart, double& wEnd, int32_t size,
                                                                          const char* badStart, const char* badEnd,
                                                                          const char* startRange, const char* endRange)
    {
        const std::optional<double> s = readBitmap(startBox, sep_);
        const std::optional<double> e = readBitmap(endBox, sep_);
        if (!s) {
            refuse(badStart);
            startBox = showIf(wStart >= 0, wStart);
        }
        if (!e) {
            refuse(badEnd);
            endBox = showIf(wEnd >= 0, wEnd);
        }
        if (s) {
            if (*s < 0 || *s > size - 1) {
                refuse(startRange);
                startBox = showIf(wStart >= 0, wStart);
            } else {
                wStart = *s;
            }
        }
        if (e) {
            // The end is compared with the start as read, refused or not.
            const bool out = s ? (*e <= *s || *e > size) : (*e < 1 || *e > size);
            if (out) {
                refuse(endRange);
                if (wEnd > wStart) {
                    endBox = show(wEnd);
                } else {
                    endBox.clear();
                    wEnd = -1;
                }
            } else {
                wEnd = *e;
            }
        }
        return {s, e};
    }

    // The width is judged against the area only while nothing so far was
    // refused; when it was not judged, the record's width becomes 1.
    void checkScanWidth()
    {
        const std::optional<int32_t> sw = readWhole(box_.SelSW);
        if (!sw) {
            refuse("Invalid scan width\n");
            box_.SelSW = formatWhole(w_.ScanWidth);
        }
        if (!valid_)
            return;
        const double span = *endX_ - *startX_;
        if (*sw < 1 || *sw > span) {
            refuse(*sw < 1 ? std::string("Scan width must be 1.\n")
                           : "Scan width must between 1 and " + formatReal(span, sep_) + ".\n");
            box_.SelSW = formatWhole(w_.ScanWidth);
            scanWidth_ = w_.ScanWidth;
        } else {
            scanWidth_ = *sw;
        }
    }

    // An unreadable threshold falls back to the working one, which is then
    // judged as if it had been typed.
    void checkThreshold()
    {
        std::optional<int32_t> threshold = readWhole(box_.Threshold);
        if (!threshold) {
            refuse("Invalid threshold value\n");
            threshold = w_.Threshold;
            box_.Threshold = formatWhole(w_.Threshold);
        }
        if (*threshold < 1 || *threshold > 255) {
            refuse("Threshold must be between 1 and 255\n");
            threshold = w_.Threshold;
            box_.Threshold = formatWhole(w_.Threshold);
        }
        threshold_ = *threshold;
    }

    // The boxes that the option table judges: each whole number by its
    // range, a refused one falling back to the working value; the check
    // boxes and the colours as they are.
    void checkTableOptions()
    {
        for (const ScanOption& o : scanOptions()) {
            const OptionControl& c = o.controls[0];
            if (o.kind == OptionKind::Whole && c.text && !o.ownRules)
                checkWhole(o, box_.*c.text);
            else if (o.kind == OptionKind::OnOff && c.check)
                o.onOff(values_) = box_.*c.check;
            else if (o.kind == OptionKind::Colour && c.colour)
                o.colour(values_) = box_.*c.colour & 0xFFFFFFu;
            else if (o.kind == OptionKind::Choice && c.choice)
                checkChoice(o, box_.*c.choice);
        }
    }

    // An index that names none of the choices keeps the working value.
    void checkChoice(const ScanOption& o, int32_t& index)
    {
        const auto count = std::count_if(std::begin(o.choices), std::end(o.choices), [](const char* c) { return c; });
        if (index >= 0 && index < count)
            o.choose(values_, index);
        else
            index = o.choice(values_);
    }

    void checkWhole(const ScanOption& o, std::string& text)
    {
        int32_t& value = o.whole(values_);
        const bool blank = text.find_first_not_of(" \t") == std::string::npos;
        const std::optional<int32_t> typed = o.blankIsStart && blank ? o.start : readWhole(text);
        if (!typed)
            refuse(invalidText(o) + "\n");
        else if (*typed < o.least || *typed > o.most)
            refuse(rangeText(o) + "\n");
        else {
            value = *typed;
            return;
        }
        text = wholeBoxText(o, value);
    }

    // Ink and paper of one colour draw no line to measure along, so ink mode
    // with them is refused and left off.
    void checkInkColours()
    {
        if (w_.Ink.On && w_.Ink.Ink == w_.Ink.Paper) {
            refuse("Ink and paper must be of different colours\n");
            w_.Ink.On = false;
            box_.InkCheckBox = false;
        }
    }

    // The bitmap positions of the origin and the references. In the kinds
    // other than the axes kind they are points of the picture, with
    // fractions, and X1 and Y1 may lie on either side of O.
    void checkReferencePositions()
    {
        ox_ = checkPosition(
            box_.SelOX, w_.OriginX, w_.OriginX >= 0, "Origin X is not a valid number\n", "Origin X is out of range\n",
            [&](double v) { return v < 0 || v >= W_; }, xMarks_);
        oy_ = checkPosition(
            box_.SelOY, w_.OriginY, w_.OriginY >= 0, "Origin Y is not a valid number\n", "Origin Y is out of range\n",
            [&](double v) { return v < 0 || v >= H_; }, yMarks_);
        rx_ = checkPosition(
            box_.SelX, w_.RefX, w_.RefX > 0, "Reference X is not a valid number\n", "Reference X is out of range\n",
            [&](double v) { return v <= (aligned_ ? std::max(ox_, 0.0) : -1) || v > W_; }, xMarks_);
        ry_ = checkPosition(
            box_.SelY, w_.RefY, w_.RefY > 0, "Reference Y is not a valid number\n", "Reference Y is out of range\n",
            [&](double v) { return v <= (aligned_ ? std::max(oy_, 0.0) : -1) || v > H_; }, yMarks_);
    }

    // The full points' other numbers and the reference points, in the kinds
    // that read them; an empty box is a number not set.
    void checkCalibrationMarks()
    {
        if (aligned_)
            return;
        CalibrationSettings& c = w_.Calibration;
        checkMarkNumber(box_.SelX1Y, c.X1Y, H_, "X1 y is not a valid number\n", "X1 y is out of range\n");
        checkMarkNumber(box_.SelY1X, c.Y1X, W_, "Y1 x is not a valid number\n", "Y1 x is out of range\n");
        checkMarkNumber(box_.SelCX, c.CornerX, W_, "Corner x is not a valid number\n", "Corner x is out of range\n");
        checkMarkNumber(box_.SelCY, c.CornerY, H_, "Corner y is not a valid number\n", "Corner y is out of range\n");
        std::vector<ReferencePoint> points;
        for (size_t i = 0; i < box_.ReferencePoints.size(); ++i) {
            const auto& cells = box_.ReferencePoints[i];
            std::optional<double> n[4];
            for (int k = 0; k < 4; ++k)
                n[k] = readReal(cells[k], sep_);
            if (!n[0] || !n[1] || !n[2] || !n[3] || *n[0] < 0 || *n[0] > W_ || *n[1] < 0 || *n[1] > H_) {
                refuse("Reference point " + formatWhole(int64_t(i) + 1) + " is not valid\n");
                continue;
            }
            points.push_back({*n[0], *n[1], *n[2], *n[3]});
        }
        // A refused point is left out, and its row with it.
        if (points.size() != box_.ReferencePoints.size()) {
            box_.ReferencePoints.clear();
            for (const ReferencePoint& p : points)
                box_.ReferencePoints.push_back({show(p.x), show(p.y), show(p.realX), show(p.realY)});
        }
        c.Points = std::move(points);
    }

    void checkMarkNumber(std::string& text, double& value, int32_t size, const char* bad, const char* out)
    {
        if (text.find_first_not_of(" \t") == std::string::npos) {
            value = -1;
            return;
        }
        const std::optional<double> v = readReal(text, sep_);
        if (v && *v >= 0 && *v <= size) {
            value = *v;
            return;
        }
        refuse(v ? out : bad);
        text = showIf(value > -1, value);
    }

    // `accepted` is cleared when the box is refused.
    template <class Refused>
    double checkPosition(std::string& text, double fallback, bool shownWhen, const char* bad, const char* out,
                         Refused refused, bool& accepted)
    {
        const std::optional<double> v = fractional_ ? readReal(text, sep_) : readBitmap(text, sep_);
        if (!v || refused(*v)) {
            refuse(v ? out : bad);
            text = showIf(shownWhen, fallback);
            accepted = false;
            return fallback;
        }
        return *v;
    }

    // The real coordinates of the origin and the references, x then y.
    void checkRealCoordinates()
    {
        xReals_ = checkRealAxis(box_.SelOXR, box_.SelXR, w_.RealOriginX, w_.HasRealOriginX, w_.RealRefX, w_.HasRealRefX,
                                "Real origin X is not a valid number\n", "Real reference X is not a valid number\n",
                                "Real X cannot be same as real origin X\n", box_.LogXCheckBox ? &kLogX : nullptr);
        yReals_ = checkRealAxis(box_.SelOYR, box_.SelYR, w_.RealOriginY, w_.HasRealOriginY, w_.RealRefY, w_.HasRealRefY,
                                "Real origin Y is not a valid number\n", "Real reference Y is not a valid number\n",
                                "Real Y cannot be same as real origin Y\n", box_.LogYCheckBox ? &kLogY : nullptr);
    }

    // What a logarithmic axis refuses: real values of 0 or below.
    struct LogRefusals {
        const char* origin;
        const char* ref;
    };
    static constexpr LogRefusals kLogX{"Real origin X must be greater than 0 on a logarithmic axis\n",
                                       "Real reference X must be greater than 0 on a logarithmic axis\n"};
    static constexpr LogRefusals kLogY{"Real origin Y must be greater than 0 on a logarithmic axis\n",
                                       "Real reference Y must be greater than 0 on a logarithmic axis\n"};

    // True when both boxes of the axis were accepted. `log` is given on a
    // logarithmic axis, where a real value must be above 0; a fallback that
    // is not is no fallback there, and its box is emptied.
    bool checkRealAxis(std::string& originBox, std::string& refBox, double& realOrigin, bool& hasOrigin,
                       double& realRef, bool& hasRef, const char* badOrigin, const char* badRef, const char* same,
                       const LogRefusals* log = nullptr)
    {
        const auto fits = [log](double v) { return !log || v > 0; };
        bool accepted = true;
        const std::optional<double> o = readReal(originBox, sep_);
        if (o && fits(*o)) {
            realOrigin = *o;
            hasOrigin = true;
        } else {
            refuse(o ? log->origin : badOrigin);
            if (fits(realOrigin)) {
                originBox = showIf(hasOrigin, realOrigin);
            } else {
                originBox.clear();
                hasOrigin = false;
            }
            accepted = false;
        }
        const std::optional<double> r = readReal(refBox, sep_);
        const bool equal = r && hasOrigin && *r == realOrigin;
        const bool below = r && !equal && !fits(*r);
        if (r && !equal && !below) {
            realRef = *r;
            hasRef = true;
            return accepted;
        }
        refuse(!r ? badRef : equal ? same : log->ref);
        if (hasRef && realRef != realOrigin && fits(realRef)) {
            refBox = show(realRef);
        } else {
            refBox.clear();
            hasRef = false;
            if (equal || below)
                realRef = -1;
        }
        return false;
    }

    // A calibration whose mapping already leaves the range of doubles at the
    // picture's edges would give infinite results; it is judged only on an
    // axis whose four boxes were all accepted. The real reference is refused
    // then, as one equal to the origin is.
    // Each axis is judged alone, while the other's boxes may still be
    // refused and no chart map can be made yet, so this reaches AxisMap
    // itself.
    void checkCalibrationRange()
    {
        if (xMarks_ && xReals_)
            checkAxisRange(AxisMap(ox_, rx_, w_.RealOriginX, w_.RealRefX, box_.LogXCheckBox), W_, box_.SelXR,
                           w_.RealRefX, w_.HasRealRefX, "Real X of the picture's edges is out of range\n");
        if (yMarks_ && yReals_)
            checkAxisRange(AxisMap(oy_, ry_, w_.RealOriginY, w_.RealRefY, box_.LogYCheckBox), H_, box_.SelYR,
                           w_.RealRefY, w_.HasRealRefY, "Real Y of the picture's edges is out of range\n");
    }

    void checkAxisRange(const AxisMap& map, int32_t size, std::string& refBox, double& realRef, bool& hasRef,
                        const char* message)
    {
        // On a logarithmic axis an edge that comes out as 0 has left the
        // range of doubles too, below.
        const auto inRange = [&map](double v) { return std::isfinite(v) && (!map.logarithmic() || v > 0); };
        if (inRange(map.toReal(0)) && inRange(map.toReal(size)))
            return;
        refuse(message);
        refBox.clear();
        hasRef = false;
        realRef = -1;
    }

    OptionValues values_; // the working copy, as the option table reaches it
    ScanSettings& w_;
    OptionBoxes box_;
    const int32_t W_;
    const int32_t H_;
    const std::string_view sep_;
    std::string messages_;
    bool valid_ = true;
    const bool aligned_;    // the kind typed is the axes kind
    const bool fractional_; // marks may lie between pixels: full points, or snapped

    // The values used.
    std::optional<double> startX_, endX_; // the X start and end as read
    int32_t scanWidth_ = 1;
    int32_t threshold_ = 0;
    double ox_ = -1, oy_ = -1, rx_ = -1, ry_ = -1;
    bool xMarks_ = true, yMarks_ = true;   // the origin and reference positions were accepted
    bool xReals_ = false, yReals_ = false; // the real origin and reference were accepted
};

} // namespace

OptionVerdict checkOptions(const OptionBoxes& typed, const ScanSettings& working, int32_t width, int32_t height,
                           std::string_view decimalSeparator)
{
    return OptionCheck(typed, working, width, height, decimalSeparator).run();
}

OptionBoxes boxesFromRecord(const ScanSettings& r, const std::string& threshold, std::string_view sep)
{
    const auto bitmap = [&](double v) { return v > -1 ? formatReal(v, sep) : std::string(); };
    const auto real = [&](bool given, double v) { return given ? formatReal(v, sep) : std::string(); };
    OptionBoxes b;
    fillTableBoxes(b, r);
    b.Threshold = threshold;
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
    fillPointBoxes(b, r, [sep](double v) { return formatReal(v, sep); });
    return b;
}

} // namespace plotrun
