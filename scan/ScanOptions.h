#pragma once
// Every option of a scan and of its output, declared once, in one table: the
// scanner's flag, the settings file's key, the dialog's control, the range,
// the start value and the header block's line. The usage text, the flag
// parser, the settings file's reader and writer, the options dialog's boxes
// and checks and the header block are made from the table, so that a new
// whole-number or on/off option is a row here, a member of the record that
// holds it, a box in the dialog's form, and its use in the engine.

#include "OptionBoxes.h"
#include "ScanSettings.h"

#include <cstdint>
#include <functional>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace plotrun {

// Which page of a PDF or SVG file becomes the picture, and at how many dots
// per inch it is rendered. It steers loading, not the scan; pictures of other
// kinds leave it unused.
struct PageChoice {
    static constexpr int32_t kDefaultDpi = 300;
    int32_t page = 1; // counted from 1
    int32_t dpi = kDefaultDpi;

    bool operator==(const PageChoice&) const = default;
};

// Everything the options set: the Scan settings, the output fields, and the
// decimal separator, the clipboard choice and the page that only the front
// ends hold.
struct OptionValues {
    ScanSettings record{};
    OutputFields fields{};
    std::string decimalSeparator = ".";
    bool copyToClipboard = true;
    PageChoice page{};

    bool operator==(const OptionValues&) const = default;
};

// How an option's value is typed, read and written. The last four are the
// output fields dialog's, each read and written by a handler of its own.
enum class OptionKind {
    Whole,            // a whole number typed into a box
    OnOff,            // a check box
    Positions,        // bitmap positions, two or four, each in a box of its own
    Reals,            // two real values, each in a box of its own
    Colour,           // a colour swatch
    Point,            // a position that a mark on the picture sets: no box
    Choice,           // one of a few named values
    ReferencePoints,  // any number of points, each a position with its real values
    SeriesList,       // the figure's series, each given as key=value pairs
    FieldList,        // the output fields to include
    ColumnNames,      // the names over the columns
    Delimiter,        // between the cells of a line
    DecimalSeparator, // within the numbers
};

// How a settings file holds the group of a row's key (its first word); the
// rows of one group all say the same.
enum class InFile {
    Always,      // a group of the first version: every file has it
    MayBeAbsent, // a group added later: a file without it leaves the option at its start value
    WhenSet,     // the same, and written only when one of its values is not the start value
};

// Where in the header block an option's line goes.
enum class HeaderPlace {
    None,
    Scan,        // after "Bits per pixel:", among the scan's parameters
    Weighting,   // before "Weighted Y points"
    Coordinates, // under "Coordinate:"
    Axes,        // after the coordinates
};

enum class HeaderForm {
    Value,  // a line of cells[0] and the value, always
    WhenOn, // a line of cells[0], and cells[1] when given, while the option is on
    Joined, // cells[0] when given, and the value, added to the line of the row above in the same
            // place; nothing when that line is absent, or for a Point not set
    Pairs,  // a line for each pair of numbers: cells[i] and the pair
    Lines,  // the lines that the row's headerLines gives
    // A line of cells[0] and the value, while it is not the start value.
    ValueWhenSet,
};

struct OptionHeader {
    HeaderPlace place = HeaderPlace::None;
    HeaderForm form = HeaderForm::Value;
    const char* cells[2]{};
};

// A dialog control, by its object name, and what the options dialog's
// OptionBoxes hold of it: a text, a check, a colour or a choice's index. The
// output fields dialog's controls have only their names.
struct OptionControl {
    const char* name = nullptr;
    std::string OptionBoxes::*text = nullptr;
    bool OptionBoxes::*check = nullptr;
    uint32_t OptionBoxes::*colour = nullptr;
    int32_t OptionBoxes::*choice = nullptr;
};

struct ScanOption {
    OptionKind kind = OptionKind::OnOff;
    const char* flag = nullptr;  // the scanner's flag; none for a value only a dialog or a mark sets
    const char* value = nullptr; // how the usage names the flag's value; none for a flag without one
    // The usage text beside the flag: "\n" starts a continued line, and
    // "{start}" stands for the start value.
    const char* help = nullptr;
    const char* keys[4]{}; // the settings file's keys, dotted: one, or one for each number
    InFile inFile = InFile::Always;
    OptionControl controls[kFieldCount]{}; // one, or one for each number or field
    // A whole number: the word for it in the checks' messages, its range and
    // the start value its box shows first.
    const char* noun = nullptr;
    int32_t least = 0;
    int32_t most = std::numeric_limits<int32_t>::max();
    int32_t start = 0;
    bool blankIsStart = false; // an empty box means the start value, an automatic one
    bool ownRules = false;     // the options checks judge it by rules of their own, not by its range
    bool judgedAsRead = false; // the scanner refuses a flag value out of the range as bad usage, at once
    bool fractional = false;   // a Point whose numbers may have fractions (a snapped mark)
    // A row added to a group of the first version: written to a settings
    // file, and shown in the header, only while this says it is in use; a
    // file without it leaves the start value.
    bool (*inUse)(const OptionValues&) = nullptr;
    // The flags of the options this one tunes; given without any of them, it
    // is bad usage (unless a settings file is given).
    const char* goesWith[2]{};
    bool OptionBoxes::*switchesOn = nullptr; // a colour given by flag also ticks this box
    OptionHeader header{};
    // Where the value lies among the OptionValues, by kind. They only name
    // the member: reading through them changes nothing.
    int32_t& (*whole)(OptionValues&) = nullptr;
    bool& (*onOff)(OptionValues&) = nullptr;
    double& (*number)(OptionValues&, int) = nullptr; // Positions, Reals, Point: the i-th number
    uint32_t& (*colour)(OptionValues&) = nullptr;
    int32_t (*choice)(const OptionValues&) = nullptr; // a Choice: the index of its value among `choices`
    void (*choose)(OptionValues&, int32_t) = nullptr;
    const char* choices[4]{};
    std::vector<ReferencePoint>& (*points)(OptionValues&) = nullptr;
    std::vector<SeriesSettings>& (*series)(OptionValues&) = nullptr;
    // A Lines header: the lines, each cell after the delimiter.
    std::vector<std::string> (*headerLines)(const ScanSettings&, const std::string& delimiter,
                                            std::string_view decimalSeparator) = nullptr;
    // What the header shows for a whole number where its value stands for
    // another (0 for an automatic one).
    int32_t (*shown)(const ScanSettings&) = nullptr;
};

// The table, in the order of the usage text.
std::span<const ScanOption> scanOptions();

// The row of a flag ("--gap"), or null.
const ScanOption* optionByFlag(std::string_view flag);

// How many numbers a Positions, Reals or Point row holds: one per key.
int numberCount(const ScanOption& option);

// The value of a row, read from values that stay as they are.
int32_t wholeIn(const ScanOption& option, const OptionValues& values);
bool onOffIn(const ScanOption& option, const OptionValues& values);
double numberIn(const ScanOption& option, const OptionValues& values, int i);
uint32_t colourIn(const ScanOption& option, const OptionValues& values);

// A Choice's value by its name (-1 for none), and its names as the usage
// lists them: "axes|three-point|four-point".
int32_t choiceIndex(const ScanOption& option, std::string_view name);
std::string choiceList(const ScanOption& option);
// A row is written to a settings file and shown in the header.
inline bool inUse(const ScanOption& option, const OptionValues& values)
{
    return !option.inUse || option.inUse(values);
}

// The usage text beside the flag, with the start value put in.
std::string helpText(const ScanOption& option);

// A whole number's checks: "Invalid gap", and "Gap must be 1 or more" or
// "Ink tolerance must be between 0 and 442". Without the line break.
std::string invalidText(const ScanOption& option);
std::string rangeText(const ScanOption& option);

// The text of a whole number's box for a value: empty for the start value of
// a box where empty means it.
std::string wholeBoxText(const ScanOption& option, int32_t value);

// The boxes of the whole numbers, the check boxes, the colours and the
// choices of the options dialog, filled from a record.
void fillTableBoxes(OptionBoxes& boxes, const ScanSettings& record);

// The boxes of the full points' numbers (X1, Y1 and the corner) and the
// reference points, filled from a record with `number` writing each number;
// a number not set (-1) leaves its box as it is.
void fillPointBoxes(OptionBoxes& boxes, const ScanSettings& record, const std::function<std::string(double)>& number);

// The header block's lines for one place, in the order of the table.
std::vector<std::string> headerLinesAt(HeaderPlace place, const ScanSettings& settings, std::string_view delimiter,
                                       std::string_view decimalSeparator);

} // namespace plotrun
