#include "ScanOptions.h"

#include "ChartFit.h"
#include "ChartMap.h"
#include "CurveFollow.h"
#include "InkModel.h"
#include "NumberText.h"
#include "Series.h"
#include "Smoothing.h"

#include <algorithm>
#include <cctype>

namespace plotrun {

namespace {

using K = OptionKind;
using V = OptionValues;
using P = HeaderPlace;
using F = HeaderForm;

// The header names the jump that following uses, also when it is automatic.
int32_t shownMaxJump(const ScanSettings& s)
{
    return maxJumpOf(s, static_cast<int64_t>(s.ScanEndY) - static_cast<int64_t>(s.ScanStartY));
}

bool notAxes(const V& v) { return !v.record.Calibration.aligned(); }

// "Calibration:", the kind, and with more points than it needs the fit's
// rms residual in picture pixels.
std::vector<std::string> calibrationLines(const ScanSettings& s, const std::string& d, std::string_view sep)
{
    std::string line = "Calibration:" + d + calibrationKindName(s.Calibration.Kind);
    const ChartMap map(s);
    if (const ChartFit* fit = map.fit(); fit && fit->problem == FitProblem::None)
        line += d + "rms residual [px]" + d + formatReal(fit->rms, sep);
    return {line};
}

std::vector<std::string> pointLines(const ScanSettings& s, const std::string& d, std::string_view sep)
{
    std::vector<std::string> lines;
    for (const ReferencePoint& p : s.Calibration.Points)
        lines.push_back("Point:" + d + formatReal(p.x, sep) + d + formatReal(p.y, sep) + d + formatReal(p.realX, sep) +
                        d + formatReal(p.realY, sep));
    return lines;
}

// A line for each series, as --series gives it.
std::vector<std::string> seriesLines(const ScanSettings& s, const std::string& d, std::string_view)
{
    std::vector<std::string> lines;
    for (const SeriesSettings& series : s.Series)
        lines.push_back("Series:" + d + seriesSpecText(series));
    return lines;
}

// The rows are in the order of the usage text; within a place of the header
// block, and within a line of it, that is their order there too.
const ScanOption kOptions[] = {
    // --- The calibration and the area, judged by the options checks' own rules.
    {.kind = K::Positions,
     .flag = "--origin",
     .value = "X,Y",
     .help = "OriginX, OriginY",
     .keys = {"calibration.origin.x", "calibration.origin.y"},
     .controls = {{"SelOX", &OptionBoxes::SelOX}, {"SelOY", &OptionBoxes::SelOY}},
     .header = {P::Coordinates, F::Pairs, {"Origin:"}},
     .number = [](V& v, int i) -> double& { return i == 0 ? v.record.OriginX : v.record.OriginY; }},
    {.kind = K::Positions,
     .flag = "--ref",
     .value = "X,Y",
     .help = "RefX (the X1 reference), RefY (the Y1 reference)",
     .keys = {"calibration.reference.x", "calibration.reference.y"},
     .controls = {{"SelX", &OptionBoxes::SelX}, {"SelY", &OptionBoxes::SelY}},
     .header = {P::Coordinates, F::Pairs, {"Reference:"}},
     .number = [](V& v, int i) -> double& { return i == 0 ? v.record.RefX : v.record.RefY; }},
    {.kind = K::Reals,
     .flag = "--real-origin",
     .value = "X,Y",
     .help = "RealOriginX, RealOriginY (default 0,0)",
     .keys = {"calibration.realOrigin.x", "calibration.realOrigin.y"},
     .controls = {{"SelOXR", &OptionBoxes::SelOXR}, {"SelOYR", &OptionBoxes::SelOYR}},
     .header = {P::Coordinates, F::Pairs, {"Real origin:"}},
     .number = [](V& v, int i) -> double& { return i == 0 ? v.record.RealOriginX : v.record.RealOriginY; }},
    {.kind = K::Reals,
     .flag = "--real-ref",
     .value = "X,Y",
     .help = "RealRefX, RealRefY",
     .keys = {"calibration.realReference.x", "calibration.realReference.y"},
     .controls = {{"SelXR", &OptionBoxes::SelXR}, {"SelYR", &OptionBoxes::SelYR}},
     .header = {P::Coordinates, F::Pairs, {"Real reference:"}},
     .number = [](V& v, int i) -> double& { return i == 0 ? v.record.RealRefX : v.record.RealRefY; }},
    {.kind = K::Positions,
     .flag = "--area",
     .value = "X1,Y1,X2,Y2",
     .help = "ScanStartX, ScanStartY, ScanEndX, ScanEndY",
     .keys = {"area.startX", "area.startY", "area.endX", "area.endY"},
     .controls = {{"SelSX1", &OptionBoxes::SelSX1},
                  {"SelSY1", &OptionBoxes::SelSY1},
                  {"SelSX2", &OptionBoxes::SelSX2},
                  {"SelSY2", &OptionBoxes::SelSY2}},
     .header = {P::Coordinates, F::Pairs, {"Scan start:", "Scan end:"}},
     .number = [](V& v, int i) -> double& {
         ScanSettings& r = v.record;
         return i == 0 ? r.ScanStartX : i == 1 ? r.ScanStartY : i == 2 ? r.ScanEndX : r.ScanEndY;
     }},

    // --- The calibration of a rotated, skewed or photographed chart
    {.kind = K::Choice,
     .flag = "--calibration",
     .value = "KIND",
     .help =
         "axes (the default: the axes run along the picture),\nthree-point (rotated or skewed: O, X1 and Y1 are full\n"
         "points) or four-point (photographed: with --corner)",
     .keys = {"calibration.kind"},
     .controls = {{.name = "CalibrationKind", .choice = &OptionBoxes::CalibrationKindIndex}},
     .inUse = notAxes,
     .header = {P::Coordinates, F::Lines},
     .choice = [](const V& v) { return static_cast<int32_t>(v.record.Calibration.Kind); },
     .choose = [](V& v, int32_t i) { v.record.Calibration.Kind = static_cast<CalibrationKind>(i); },
     .choices = {"axes", "three-point", "four-point"},
     .headerLines = calibrationLines},
    {.kind = K::Point,
     .flag = "--x1",
     .value = "X,Y",
     .help = "X1 as a full point, on the x axis at the real reference x\n(instead of --ref)",
     .keys = {"calibration.x1.x", "calibration.x1.y"},
     .controls = {{"SelX", &OptionBoxes::SelX}, {"SelX1Y", &OptionBoxes::SelX1Y}},
     .fractional = true,
     .inUse = notAxes,
     .goesWith = {"--calibration"},
     .header = {P::Coordinates, F::Pairs, {"X1:"}},
     .number = [](V& v, int i) -> double& { return i == 0 ? v.record.RefX : v.record.Calibration.X1Y; }},
    {.kind = K::Point,
     .flag = "--y1",
     .value = "X,Y",
     .help = "Y1 as a full point, on the y axis at the real reference y\n(instead of --ref)",
     .keys = {"calibration.y1.x", "calibration.y1.y"},
     .controls = {{"SelY1X", &OptionBoxes::SelY1X}, {"SelY", &OptionBoxes::SelY}},
     .fractional = true,
     .inUse = notAxes,
     .goesWith = {"--calibration"},
     .header = {P::Coordinates, F::Pairs, {"Y1:"}},
     .number = [](V& v, int i) -> double& { return i == 0 ? v.record.Calibration.Y1X : v.record.RefY; }},
    {.kind = K::Point,
     .flag = "--corner",
     .value = "X,Y",
     .help = "the corner C of four-point, where real x and y are both\nthe real references",
     .keys = {"calibration.corner.x", "calibration.corner.y"},
     .controls = {{"SelCX", &OptionBoxes::SelCX}, {"SelCY", &OptionBoxes::SelCY}},
     .fractional = true,
     .inUse = [](const V& v) { return v.record.Calibration.Kind == CalibrationKind::FourPoint; },
     .goesWith = {"--calibration"},
     .header = {P::Coordinates, F::Pairs, {"Corner:"}},
     .number = [](V& v, int i) -> double& {
         return i == 0 ? v.record.Calibration.CornerX : v.record.Calibration.CornerY;
     }},
    {.kind = K::ReferencePoints,
     .flag = "--point",
     .value = "X,Y=RX,RY",
     .help = "a further reference point: where it lies (bitmap\ncoordinates), then its real values; repeatable; with\n"
             "more points than the kind needs, the map is fitted",
     .keys = {"calibration.points"},
     .inUse = [](const V& v) { return !v.record.Calibration.Points.empty(); },
     .goesWith = {"--calibration"},
     .header = {P::Coordinates, F::Lines},
     .points = [](V& v) -> std::vector<ReferencePoint>& { return v.record.Calibration.Points; },
     .headerLines = pointLines},
    {.kind = K::OnOff,
     .flag = "--snap",
     .help = "move each mark to the centre of the line crossing\nit lies near (axis and tick, or axis and grid line)",
     .keys = {"calibration.snap"},
     .controls = {{.name = "SnapCheckBox", .check = &OptionBoxes::SnapCheckBox}},
     .inUse = [](const V& v) { return v.record.Calibration.Snap; },
     .header = {P::Coordinates, F::WhenOn, {"Snapped marks"}},
     .onOff = [](V& v) -> bool& { return v.record.Calibration.Snap; }},

    // --- The scan
    {.kind = K::Whole,
     .flag = "--scan-width",
     .value = "N",
     .help = "default {start}",
     .keys = {"scan.width"},
     .controls = {{"SelSW", &OptionBoxes::SelSW}},
     .noun = "scan width",
     .least = 1,
     .start = 1,
     .ownRules = true, // its range is the area's width
     .header = {P::Scan, F::Value, {"Scan width:"}},
     .whole = [](V& v) -> int32_t& { return v.record.ScanWidth; }},
    {.kind = K::Whole,
     .flag = "--threshold",
     .value = "N",
     .help = "default {start}",
     .keys = {"scan.threshold"},
     .controls = {{"Threshold", &OptionBoxes::Threshold}},
     .noun = "threshold",
     .least = 1,
     .most = 255,
     .start = 128,
     .ownRules = true, // an unreadable one is judged by its fallback
     .header = {P::Scan, F::Value, {"Threshold:"}},
     .whole = [](V& v) -> int32_t& { return v.record.Threshold; }},
    {.kind = K::Whole,
     .flag = "--smooth",
     .value = "R",
     .help =
         "halftoned or dithered pictures: before weighting, average\neach pixel over the pixels within R pixels of it\n"
         "(default {start}: off)",
     .keys = {"smoothing.radius"},
     .inFile = InFile::WhenSet,
     .controls = {{"SelSmooth", &OptionBoxes::SelSmooth}},
     .noun = "smoothing radius",
     .least = 0,
     .most = kMostSmoothingRadius,
     .start = 0,
     .judgedAsRead = true,
     .header = {P::Scan, F::ValueWhenSet, {"Smoothing radius:"}},
     .whole = [](V& v) -> int32_t& { return v.record.Smooth; }},
    {.kind = K::OnOff,
     .flag = "--weighted-x",
     .keys = {"scan.weightedX"},
     .controls = {{.name = "SelWt", .check = &OptionBoxes::SelWt}},
     .header = {P::Weighting, F::WhenOn, {"Weighted X points"}},
     .onOff = [](V& v) -> bool& { return v.record.WeightedX; }},
    {.kind = K::OnOff,
     .flag = "--log-x",
     .help = "a logarithmic x axis: real x values above 0",
     .keys = {"axes.logX"},
     .inFile = InFile::MayBeAbsent,
     .controls = {{.name = "LogXCheckBox", .check = &OptionBoxes::LogXCheckBox}},
     .header = {P::Axes, F::WhenOn, {"X axis:", "logarithmic"}},
     .onOff = [](V& v) -> bool& { return v.record.LogX; }},
    {.kind = K::OnOff,
     .flag = "--log-y",
     .help = "a logarithmic y axis: real y values above 0",
     .keys = {"axes.logY"},
     .inFile = InFile::MayBeAbsent,
     .controls = {{.name = "LogYCheckBox", .check = &OptionBoxes::LogYCheckBox}},
     .header = {P::Axes, F::WhenOn, {"Y axis:", "logarithmic"}},
     .onOff = [](V& v) -> bool& { return v.record.LogY; }},

    // --- Ink mode: --ink turns it on with its colour.
    {.kind = K::OnOff,
     .keys = {"ink.on"},
     .inFile = InFile::MayBeAbsent,
     .controls = {{.name = "InkCheckBox", .check = &OptionBoxes::InkCheckBox}},
     .noun = "ink mode",
     .header = {P::Scan, F::WhenOn, {"Ink:"}},
     .onOff = [](V& v) -> bool& { return v.record.Ink.On; }},
    {.kind = K::Colour,
     .flag = "--ink",
     .value = "COLOUR",
     .help = "ink mode: count only pixels of this colour, as\nR,G,B or '#rrggbb'; a pixel weighs by its share of ink",
     .keys = {"ink.ink"},
     .inFile = InFile::MayBeAbsent,
     .controls = {{.name = "InkColourBtn", .colour = &OptionBoxes::InkColour}},
     .switchesOn = &OptionBoxes::InkCheckBox,
     .header = {P::Scan, F::Joined},
     .colour = [](V& v) -> uint32_t& { return v.record.Ink.Ink; }},
    {.kind = K::Colour,
     .flag = "--paper",
     .value = "COLOUR",
     .help = "the paper colour of ink mode (default 255,255,255)",
     .keys = {"ink.paper"},
     .inFile = InFile::MayBeAbsent,
     .controls = {{.name = "PaperColourBtn", .colour = &OptionBoxes::PaperColour}},
     .goesWith = {"--ink"},
     .header = {P::Scan, F::Joined},
     .colour = [](V& v) -> uint32_t& { return v.record.Ink.Paper; }},
    {.kind = K::Whole,
     .flag = "--ink-tolerance",
     .value = "N",
     .help = "how far, in RGB units, a pixel may lie off the line\nfrom paper to ink and still count (default {start})",
     .keys = {"ink.tolerance"},
     .inFile = InFile::MayBeAbsent,
     .controls = {{"SelInkTol", &OptionBoxes::SelInkTol}},
     .noun = "ink tolerance",
     .least = 0,
     .most = InkSettings::kMaxTolerance,
     .start = InkSettings::kDefaultTolerance,
     .goesWith = {"--ink"},
     .header = {P::Scan, F::Joined},
     .whole = [](V& v) -> int32_t& { return v.record.Ink.Tolerance; }},

    // --- Following one curve, and leaving out lines
    {.kind = K::OnOff,
     .flag = "--follow",
     .help = "follow one curve: each strip's point comes from the\nrun of rows that continues the curve",
     .keys = {"follow.on"},
     .inFile = InFile::WhenSet,
     .controls = {{.name = "FollowCheckBox", .check = &OptionBoxes::FollowCheckBox}},
     .header = {P::Scan, F::WhenOn, {"Follow one curve:"}},
     .onOff = [](V& v) -> bool& { return v.record.Follow.On; }},
    {.kind = K::Whole,
     .flag = "--gap",
     .value = "N",
     .help = "empty rows that split a strip into runs (default {start})",
     .keys = {"follow.gap"},
     .inFile = InFile::WhenSet,
     .controls = {{"SelGap", &OptionBoxes::SelGap}},
     .noun = "gap",
     .least = 1,
     .start = FollowSettings::kDefaultGap,
     .judgedAsRead = true,
     .goesWith = {"--follow", "--remove-lines"},
     .header = {P::Scan, F::Joined, {"gap"}},
     .whole = [](V& v) -> int32_t& { return v.record.Follow.Gap; }},
    {.kind = K::Whole,
     .flag = "--max-jump",
     .value = "N",
     .help =
         "rows a point may move from one strip to the next\n(default: a tenth of the area height, and at least\ntwice "
         "the scan width)",
     .keys = {"follow.maxJump"},
     .inFile = InFile::WhenSet,
     .controls = {{"SelMaxJump", &OptionBoxes::SelMaxJump}},
     .noun = "maximum jump",
     .least = 0,
     .start = 0,
     .blankIsStart = true,
     .judgedAsRead = true,
     .goesWith = {"--follow"},
     .header = {P::Scan, F::Joined, {"max jump"}},
     .whole = [](V& v) -> int32_t& { return v.record.Follow.MaxJump; },
     .shown = shownMaxJump},
    {.kind = K::Point,
     .flag = "--start",
     .value = "X,Y",
     .help = "where following starts (bitmap coordinates); default:\na strip near the middle that holds one clear run",
     .keys = {"follow.startX", "follow.startY"},
     .inFile = InFile::WhenSet,
     .goesWith = {"--follow"},
     .header = {P::Scan, F::Joined, {"start"}},
     .number = [](V& v, int i) -> double& { return i == 0 ? v.record.Follow.StartX : v.record.Follow.StartY; }},
    {.kind = K::OnOff,
     .flag = "--remove-lines",
     .help =
         "leave out rows and columns whose pixels run across at\nleast 90 % of the area: axes, frame and grid lines",
     .keys = {"follow.removeLines"},
     .inFile = InFile::WhenSet,
     .controls = {{.name = "RemoveLinesCheckBox", .check = &OptionBoxes::RemoveLinesCheckBox}},
     .header = {P::Scan, F::WhenOn, {"Leave out axis and grid lines"}},
     .onOff = [](V& v) -> bool& { return v.record.Follow.RemoveLines; }},

    // --- The figure's series, each scanned with its own ink and Start
    {.kind = K::SeriesList,
     .flag = "--series",
     .value = "SPEC",
     .help = "a series of the figure: key=value pairs joined by ';', of\nname, kind (line or markers), ink (#rrggbb), "
             "tolerance,\n"
             "start (X:Y, where it is followed from) and size (MIN:MAX,\na marker's area in pixels); repeatable; each "
             "output row\nthen starts with its series' name",
     .keys = {"series"},
     .inFile = InFile::WhenSet,
     .inUse = [](const V& v) { return !v.record.Series.empty(); },
     .header = {P::Axes, F::Lines},
     .series = [](V& v) -> std::vector<SeriesSettings>& { return v.record.Series; },
     .headerLines = seriesLines},

    // --- The page of a PDF or SVG file: no box of the options dialog, so the
    // settings file and the scanner judge them by their range.
    {.kind = K::Whole,
     .flag = "--page",
     .value = "N",
     .help = "the page of a PDF file to scan (default {start}); SVG\ndrawings and other pictures ignore it",
     .keys = {"page.number"},
     .inFile = InFile::WhenSet,
     .noun = "page",
     .least = 1,
     .start = 1,
     .judgedAsRead = true,
     .whole = [](V& v) -> int32_t& { return v.page.page; }},
    {.kind = K::Whole,
     .flag = "--dpi",
     .value = "D",
     .help = "render a PDF or SVG page at D dots per inch (default {start})",
     .keys = {"page.dpi"},
     .inFile = InFile::WhenSet,
     .noun = "resolution",
     .least = 10,
     .most = 9600,
     .start = PageChoice::kDefaultDpi,
     .judgedAsRead = true,
     .whole = [](V& v) -> int32_t& { return v.page.dpi; }},

    // --- The output fields dialog's
    {.kind = K::FieldList,
     .flag = "--fields",
     .value = "LIST",
     .help = "comma list of real, sdev, sdevy, bitmap, ux, uy, ylow,\nyhigh (default real); ux and uy: the standard "
             "uncertainty\nof real x and y; ylow and yhigh: the ends of a marker's\nerror bar",
     .keys = {"output.fields"},
     .controls = {{"RealCheckBox"},
                  {"SdevCheckBox"},
                  {"SdevyCheckBox"},
                  {"BitmapCheckBox"},
                  {"UxCheckBox"},
                  {"UyCheckBox"},
                  {"YLowCheckBox"},
                  {"YHighCheckBox"}}},
    {.kind = K::OnOff,
     .flag = "--header",
     .help = "include the block of scanning parameters",
     .keys = {"output.scanningParameters"},
     .controls = {{"ScanCheckBox"}},
     .onOff = [](V& v) -> bool& { return v.fields.scanningParameters; }},
    {.kind = K::OnOff,
     .flag = "--column-names",
     .help = "include the column-names line",
     .keys = {"output.columnNames"},
     .controls = {{"ColNamesCheckBox"}},
     .onOff = [](V& v) -> bool& { return v.fields.columnNames; }},
    {.kind = K::OnOff,
     .flag = "--wide",
     .help = "with series: one x column, and each line series' y\ncolumns beside it, empty where it has no point; "
             "markers\nstay one row per point after them",
     .keys = {"output.wide"},
     .inUse = [](const V& v) { return v.fields.wide; },
     .onOff = [](V& v) -> bool& { return v.fields.wide; }},
    {.kind = K::OnOff,
     .flag = "--provenance",
     .help = "add to the header block how the numbers were made: the\npicture's SHA-256 and size, the version, the "
             "time and\nevery setting, "
             "which a settings file can be made from",
     .keys = {"output.provenance"},
     .controls = {{"ProvenanceCheckBox"}},
     .inUse = [](const V& v) { return v.fields.provenance; },
     .onOff = [](V& v) -> bool& { return v.fields.provenance; }},
    {.kind = K::ColumnNames,
     .flag = "--name",
     .value = "KEY=TEXT",
     .help = "column name; KEY is x, y, sdev, sdevy, xb, yb, ux, uy,\nylow or yhigh; repeatable",
     .keys = {"output.names"},
     .controls = {{"XEdit"},
                  {"YEdit"},
                  {"SdevEdit"},
                  {"SdevyEdit"},
                  {"XbEdit"},
                  {"YbEdit"},
                  {"UxEdit"},
                  {"UyEdit"},
                  {"YLowEdit"},
                  {"YHighEdit"}}},
    {.kind = K::Delimiter,
     .flag = "--delimiter",
     .value = "TEXT",
     .help = "default: the start delimiter rule, from the decimal separator;\nnot empty, and without digits, signs, E, "
             "e, the decimal\nseparator or line breaks",
     .keys = {"output.delimiter"},
     .controls = {{"SelDelim"}}},
    {.kind = K::DecimalSeparator,
     .flag = "--decimal-separator",
     .value = "C",
     .help = "default: the user's locale",
     .keys = {"output.decimalSeparator"}},
    {.kind = K::OnOff,
     .keys = {"output.copyToClipboard"},
     .controls = {{"SelCpy"}},
     .onOff = [](V& v) -> bool& { return v.copyToClipboard; }},
};

// The accessors take values to change; reading through them changes nothing.
V& named(const V& values) { return const_cast<V&>(values); }

std::string capitalised(std::string text)
{
    if (!text.empty())
        text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    return text;
}

// A Point is set once both its numbers are.
bool pointIsSet(const ScanOption& o, const V& v) { return numberIn(o, v, 0) > -1 && numberIn(o, v, 1) > -1; }

// The value cells of a row, each after the delimiter.
std::string valueCells(const ScanOption& o, const V& v, const std::string& d, std::string_view sep)
{
    switch (o.kind) {
    case K::Whole: return d + formatWhole(o.shown ? o.shown(v.record) : wholeIn(o, v));
    case K::Colour: return d + colourText(colourIn(o, v));
    case K::Point:
    case K::Positions:
    case K::Reals: {
        std::string cells;
        for (int i = 0; i < numberCount(o); ++i)
            cells += d + formatReal(numberIn(o, v, i), sep);
        return cells;
    }
    default: return {};
    }
}

} // namespace

std::span<const ScanOption> scanOptions() { return kOptions; }

const ScanOption* optionByFlag(std::string_view flag)
{
    for (const ScanOption& o : kOptions)
        if (o.flag && flag == o.flag)
            return &o;
    return nullptr;
}

int numberCount(const ScanOption& o)
{
    return static_cast<int>(std::count_if(std::begin(o.keys), std::end(o.keys), [](const char* k) { return k; }));
}

int32_t wholeIn(const ScanOption& o, const V& v) { return o.whole(named(v)); }
bool onOffIn(const ScanOption& o, const V& v) { return o.onOff(named(v)); }
double numberIn(const ScanOption& o, const V& v, int i) { return o.number(named(v), i); }
uint32_t colourIn(const ScanOption& o, const V& v) { return o.colour(named(v)); }

int32_t choiceIndex(const ScanOption& o, std::string_view name)
{
    for (int32_t i = 0; i < static_cast<int32_t>(std::size(o.choices)) && o.choices[i]; ++i)
        if (name == o.choices[i])
            return i;
    return -1;
}

std::string choiceList(const ScanOption& o)
{
    std::string list;
    for (size_t i = 0; i < std::size(o.choices) && o.choices[i]; ++i)
        list += (i ? "|" : "") + std::string(o.choices[i]);
    return list;
}

std::string helpText(const ScanOption& o)
{
    std::string text = o.help ? o.help : "";
    const std::string mark = "{start}";
    if (const size_t at = text.find(mark); at != std::string::npos)
        text.replace(at, mark.size(), formatWhole(o.start));
    return text;
}

std::string invalidText(const ScanOption& o) { return "Invalid " + std::string(o.noun); }

std::string rangeText(const ScanOption& o)
{
    const std::string name = capitalised(o.noun);
    if (o.most == std::numeric_limits<int32_t>::max())
        return name + " must be " + formatWhole(o.least) + " or more";
    return name + " must be between " + formatWhole(o.least) + " and " + formatWhole(o.most);
}

std::string wholeBoxText(const ScanOption& o, int32_t value)
{
    return o.blankIsStart && value == o.start ? std::string() : formatWhole(value);
}

void fillTableBoxes(OptionBoxes& b, const ScanSettings& record)
{
    const V v{record};
    for (const ScanOption& o : kOptions) {
        const OptionControl& c = o.controls[0];
        if (o.kind == K::Whole && c.text)
            b.*c.text = wholeBoxText(o, wholeIn(o, v));
        else if (o.kind == K::OnOff && c.check)
            b.*c.check = onOffIn(o, v);
        else if (o.kind == K::Colour && c.colour)
            b.*c.colour = colourIn(o, v);
        else if (o.kind == K::Choice && c.choice)
            b.*c.choice = o.choice(v);
    }
}

void fillPointBoxes(OptionBoxes& b, const ScanSettings& record, const std::function<std::string(double)>& number)
{
    const V v{record};
    for (const ScanOption& o : kOptions) {
        if (o.kind == K::Point)
            for (int i = 0; i < 2; ++i)
                if (const OptionControl& c = o.controls[i]; c.text && numberIn(o, v, i) > -1)
                    b.*c.text = number(numberIn(o, v, i));
        if (o.kind == K::ReferencePoints) {
            b.ReferencePoints.clear();
            for (const ReferencePoint& p : o.points(named(v)))
                b.ReferencePoints.push_back({number(p.x), number(p.y), number(p.realX), number(p.realY)});
        }
    }
}

std::vector<std::string> headerLinesAt(HeaderPlace place, const ScanSettings& settings, std::string_view delimiter,
                                       std::string_view sep)
{
    const V v{settings};
    const std::string d(delimiter);
    std::vector<std::string> lines;
    bool lineShown = false; // the line that joined cells go to
    for (const ScanOption& o : kOptions) {
        const OptionHeader& h = o.header;
        if (h.place != place || !inUse(o, v))
            continue;
        switch (h.form) {
        case F::Value:
            lines.push_back(h.cells[0] + valueCells(o, v, d, sep));
            lineShown = true;
            break;
        case F::ValueWhenSet:
            lineShown = wholeIn(o, v) != o.start;
            if (lineShown)
                lines.push_back(h.cells[0] + valueCells(o, v, d, sep));
            break;
        case F::WhenOn:
            lineShown = onOffIn(o, v);
            if (lineShown)
                lines.push_back(std::string(h.cells[0]) + (h.cells[1] ? d + h.cells[1] : std::string()));
            break;
        case F::Joined:
            if (lineShown && (o.kind != K::Point || pointIsSet(o, v)))
                lines.back() += (h.cells[0] ? d + h.cells[0] : std::string()) + valueCells(o, v, d, sep);
            break;
        case F::Lines:
            for (std::string& line : o.headerLines(settings, d, sep))
                lines.push_back(std::move(line));
            break;
        case F::Pairs:
            for (int i = 0; 2 * i + 1 < numberCount(o); ++i)
                lines.push_back(h.cells[i] + d + formatReal(numberIn(o, v, 2 * i), sep) + d +
                                formatReal(numberIn(o, v, 2 * i + 1), sep));
            break;
        }
    }
    return lines;
}

} // namespace plotrun
