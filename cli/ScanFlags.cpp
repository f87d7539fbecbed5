#include "ScanFlags.h"

#include "../scan/InkModel.h"
#include "../scan/NumberText.h"
#include "../scan/Series.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

namespace plotrun {

namespace {

constexpr const char* kUsageHead = R"(Usage: plotrun-scan [options] IMAGE
       plotrun-scan [options] -O DIR IMAGE...
Scans the area of a chart picture strip by strip and writes one line of
numbers for each strip that holds dark pixels.

)";

constexpr const char* kUsageTail = R"(
Bitmap coordinates count pixels from the left edge and upward from the
bottom edge. Numbers in options always use ".".
An output file is replaced only once the output is wholly written; a pipe
or device is written into. The output cannot be the picture itself.
Exit codes: 0 done, 1 picture or output file error, 2 bad usage or refused
settings, 3 scan aborted by the height check, 4 a result beyond the range of
real numbers (nothing written).
With -O, each output file is written whole or not at all; a picture that
fails is reported and skipped, and the exit code is 0 when every picture was
done, 1 when any failed (2 for bad usage).
)";

// --- The option table's flags: each kind's value is checked as it is read,
// and applied once the settings file, if any, is known.

std::vector<std::string> splitList(const QString& value, int count, const char* option)
{
    const QStringList pieces = value.split(',');
    if (pieces.size() != count)
        throw UsageError{std::string(option) + " takes " + std::to_string(count) + " numbers separated by commas"};
    std::vector<std::string> out;
    for (const QString& p : pieces)
        out.push_back(p.toStdString());
    return out;
}

uint32_t colourFlag(const QString& value, const char* option)
{
    const std::optional<uint32_t> c = readColour(value.trimmed().toStdString());
    if (!c)
        throw UsageError{std::string(option) + " takes R,G,B (each 0 to 255) or #rrggbb"};
    return *c;
}

int32_t wholeFlag(const ScanOption& row, const QString& value)
{
    bool ok = false;
    const int n = value.toInt(&ok);
    if (ok && n >= row.least && n <= row.most)
        return n;
    throw UsageError{std::string(row.flag) + " takes a whole number " +
                     (row.most == std::numeric_limits<int32_t>::max()
                          ? "of at least " + std::to_string(row.least)
                          : "from " + std::to_string(row.least) + " to " + std::to_string(row.most))};
}

std::pair<double, double> pointFlag(const ScanOption& row, const QString& value)
{
    const auto p = splitList(value, 2, row.flag);
    bool okX = false, okY = false;
    const double x = QString::fromStdString(p[0]).toDouble(&okX);
    const double y = QString::fromStdString(p[1]).toDouble(&okY);
    const bool whole = row.fractional || (x == std::trunc(x) && y == std::trunc(y));
    if (!okX || !okY || !std::isfinite(x) || !std::isfinite(y) || x < 0 || y < 0 || !whole || x > 2147483647.0 ||
        y > 2147483647.0)
        throw UsageError{std::string(row.flag) + " takes two " + (row.fractional ? "numbers" : "whole numbers") +
                         " of at least 0, X,Y in bitmap coordinates"};
    return {x, y};
}

// --point X,Y=RX,RY: where the point lies, then its real values.
ReferencePoint referencePointFlag(const ScanOption& row, const QString& value)
{
    const qsizetype eq = value.indexOf('=');
    const std::string usage =
        std::string(row.flag) + " takes X,Y=RX,RY: bitmap coordinates of at least 0, then real values";
    if (eq < 0)
        throw UsageError{usage};
    const QStringList at = value.left(eq).split(','), real = value.mid(eq + 1).split(',');
    if (at.size() != 2 || real.size() != 2)
        throw UsageError{usage};
    double v[4];
    const QString texts[4] = {at[0], at[1], real[0], real[1]};
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        v[i] = texts[i].trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(v[i]) || (i < 2 && (v[i] < 0 || v[i] > 2147483647.0)))
            throw UsageError{usage};
    }
    return {v[0], v[1], v[2], v[3]};
}

// --series SPEC: a value that cannot be read is refused, naming its key.
SeriesSettings seriesFlag(const ScanOption& row, const QString& value)
{
    SeriesSettings series;
    if (const std::string problem = readSeriesSpec(value.toStdString(), series); !problem.empty())
        throw UsageError{std::string(row.flag) + ": " + problem};
    return series;
}

// The series that the flags give, in their order and named for the
// delimiter in effect (a name is the first cell of its rows); none when no
// --series is given.
std::vector<SeriesSettings> givenSeries(const Options& o)
{
    std::vector<SeriesSettings> series;
    for (const auto& [row, value] : o.given)
        if (row->kind == OptionKind::SeriesList)
            series.push_back(seriesFlag(*row, value));
    if (series.size() > kMostSeries)
        throw UsageError{"--series is given more than " + std::to_string(kMostSeries) + " times"};
    if (const std::string problem = nameSeries(series, o.fields.delimiter); !problem.empty())
        throw UsageError{"--series: " + problem};
    return series;
}

// The settings file's series, named for the delimiter in effect: the file
// named those without a name for its own delimiter, and flags may give
// another.
void nameFileSeries(Options& o)
{
    if (!o.settings)
        return;
    std::vector<SeriesSettings>& series = o.settings->record.Series;
    for (size_t i = 0; i < series.size(); ++i)
        if (series[i].Name == automaticSeriesName(i + 1, o.settings->fields.delimiter))
            series[i].Name.clear();
    if (const std::string problem = nameSeries(series, o.fields.delimiter); !problem.empty())
        throw UsageError{"the settings file's series: " + problem};
}

int32_t choiceFlag(const ScanOption& row, const QString& value)
{
    const int32_t i = choiceIndex(row, value.toStdString());
    if (i < 0)
        throw UsageError{std::string(row.flag) + " takes " + choiceList(row)};
    return i;
}

void fieldsFlag(OutputFields& f, const QString& value)
{
    f.realCoordinates = f.sdev = f.sdevY = f.bitmapCoordinates = f.ux = f.uy = f.yLow = f.yHigh = false;
    for (const QString& name : value.split(',')) {
        if (name == "real")
            f.realCoordinates = true;
        else if (name == "sdev")
            f.sdev = true;
        else if (name == "sdevy")
            f.sdevY = true;
        else if (name == "bitmap")
            f.bitmapCoordinates = true;
        else if (name == "ux")
            f.ux = true;
        else if (name == "uy")
            f.uy = true;
        else if (name == "ylow")
            f.yLow = true;
        else if (name == "yhigh")
            f.yHigh = true;
        else
            throw UsageError{"unknown field '" + name.toStdString() +
                             "' (real, sdev, sdevy, bitmap, ux, uy, ylow or yhigh)"};
    }
    if (!f.realCoordinates && !f.sdev && !f.sdevY && !f.bitmapCoordinates && !f.ux && !f.uy && !f.yLow && !f.yHigh)
        throw UsageError{"at least one output field must be selected"};
}

void columnNameFlag(OutputFields& f, const QString& value)
{
    static const std::map<QString, Field> keys{{"x", Field::RealX},     {"y", Field::RealY},    {"sdev", Field::Sdev},
                                               {"sdevy", Field::SdevY}, {"xb", Field::BitmapX}, {"yb", Field::BitmapY},
                                               {"ux", Field::Ux},       {"uy", Field::Uy},      {"ylow", Field::YLow},
                                               {"yhigh", Field::YHigh}};
    const int eq = value.indexOf('=');
    const auto key = keys.find(value.left(eq));
    if (eq < 0 || key == keys.end())
        throw UsageError{"--name takes KEY=TEXT with KEY x, y, sdev, sdevy, xb, yb, ux, uy, ylow or yhigh"};
    const QString text = value.mid(eq + 1);
    if (text.size() > 40)
        throw UsageError{"a column name holds at most 40 characters"};
    f.names[static_cast<int>(key->second)] = text.toStdString();
}

void checkDecimalSeparator(const QString& value)
{
    if (value.size() != 1)
        throw UsageError{"the decimal separator is one character"};
    // Each of these would make a number read as another or as two.
    const QChar c = value[0];
    if (c.isDigit() || c == '+' || c == '-' || c == 'E' || c == 'e')
        throw UsageError{"the decimal separator cannot be a digit, a sign, E or e"};
    if (c.category() == QChar::Other_Control)
        throw UsageError{"the decimal separator cannot be a control character"};
}

// Refuses a value that its kind cannot take, before anything is read. The
// boxes' texts are left to the options checks, as the dialog's are, unless
// the row is judged as it is read.
void checkFlagValue(const ScanOption& row, const QString& value)
{
    switch (row.kind) {
    case OptionKind::Whole:
        if (row.judgedAsRead)
            wholeFlag(row, value);
        break;
    case OptionKind::Positions:
    case OptionKind::Reals: splitList(value, numberCount(row), row.flag); break;
    case OptionKind::Colour: colourFlag(value, row.flag); break;
    case OptionKind::Point: pointFlag(row, value); break;
    case OptionKind::FieldList: {
        OutputFields f;
        fieldsFlag(f, value);
        break;
    }
    case OptionKind::ColumnNames: {
        OutputFields f;
        columnNameFlag(f, value);
        break;
    }
    case OptionKind::Delimiter:
        // What else it may not hold depends on the decimal separator, which
        // is known once every flag and the settings file are read.
        if (value.size() > 8)
            throw UsageError{"the delimiter holds at most 8 characters"};
        break;
    case OptionKind::DecimalSeparator: checkDecimalSeparator(value); break;
    case OptionKind::Choice: choiceFlag(row, value); break;
    case OptionKind::ReferencePoints: referencePointFlag(row, value); break;
    case OptionKind::SeriesList: seriesFlag(row, value); break;
    case OptionKind::OnOff: break;
    }
}

bool sameCompanions(const ScanOption& a, const ScanOption& b)
{
    return std::equal(std::begin(a.goesWith), std::end(a.goesWith), std::begin(b.goesWith), std::end(b.goesWith),
                      [](const char* x, const char* y) { return x == y || (x && y && std::string_view(x) == y); });
}

// "--paper and --ink-tolerance go with --ink": every flag that tunes the
// same options, and those options.
std::string companionsText(const ScanOption& row)
{
    std::vector<std::string> names;
    for (const ScanOption& r : scanOptions())
        if (r.flag && r.goesWith[0] && sameCompanions(r, row))
            names.push_back(r.flag);
    std::string text;
    for (size_t i = 0; i < names.size(); ++i)
        text += (i == 0 ? "" : i + 1 == names.size() ? " and " : ", ") + names[i];
    text += names.size() > 1 ? " go with " : " goes with ";
    for (size_t i = 0; i < std::size(row.goesWith) && row.goesWith[i]; ++i)
        text += (i ? std::string(" or ") : std::string()) + row.goesWith[i];
    return text;
}

// The flags given without any of the options they tune; over a settings
// file, the file may hold those.
std::vector<const ScanOption*> aloneCompanions(const Options& o)
{
    std::vector<const ScanOption*> alone;
    for (const ScanOption& row : scanOptions())
        if (row.goesWith[0] && givenFlag(o, row.flag) &&
            std::none_of(std::begin(row.goesWith), std::end(row.goesWith),
                         [&](const char* f) { return f && givenFlag(o, f); }))
            alone.push_back(&row);
    return alone;
}

// Ink mode's companions over a settings file that is not in ink mode: the
// scanner has always refused them, while following's are taken (to be
// written with --save-settings).
void checkCompanionsOverFile(const Options& o)
{
    for (const ScanOption* alone : aloneCompanions(o))
        for (const char* flag : alone->goesWith) {
            const ScanOption* mode = flag ? optionByFlag(flag) : nullptr;
            if (!mode || !mode->switchesOn)
                continue;
            for (const ScanOption& row : scanOptions())
                if (row.kind == OptionKind::OnOff && row.controls[0].check == mode->switchesOn &&
                    !onOffIn(row, *o.settings))
                    throw UsageError{companionsText(*alone) + ", or with a settings file in " + row.noun};
        }
}

// The output fields, the decimal separator, the clipboard choice and the
// page: the settings file's, or the start values, with what the flags gave
// over them.
void mergeOutput(Options& o)
{
    OptionValues v;
    if (o.settings)
        v = *o.settings;
    else
        v.decimalSeparator = QLocale::system().decimalPoint().toStdString();
    const ScanOption* delimiter = nullptr;
    for (const auto& [row, value] : o.given)
        if (row->kind == OptionKind::DecimalSeparator)
            v.decimalSeparator = value.toStdString();
        else if (row->kind == OptionKind::Delimiter)
            delimiter = row;
    if (!o.settings)
        v.fields.delimiter = startDelimiter(v.decimalSeparator);
    for (const auto& [row, value] : o.given) {
        switch (row->kind) {
        case OptionKind::FieldList: fieldsFlag(v.fields, value); break;
        case OptionKind::ColumnNames: columnNameFlag(v.fields, value); break;
        case OptionKind::Delimiter: v.fields.delimiter = value.toStdString(); break;
        case OptionKind::Whole:
            // Numbers of no box of the options dialog: the page.
            if (!row->controls[0].text)
                row->whole(v) = wholeFlag(*row, value);
            break;
        case OptionKind::OnOff:
            // Check boxes of the options dialog go through the boxes.
            if (!row->controls[0].check)
                row->onOff(v) = true;
            break;
        default: break;
        }
    }
    // The settings file's delimiter suits its own decimal separator; another
    // one given here may not suit it.
    if (!delimiterIsValid(v.fields.delimiter, v.decimalSeparator))
        throw UsageError{delimiter ? std::string(kInvalidDelimiterText)
                                   : "the settings file's delimiter \"" + v.fields.delimiter +
                                         "\" does not go with this decimal separator. " + kInvalidDelimiterText};
    o.fields = v.fields;
    o.decimalSeparator = v.decimalSeparator;
    o.copyToClipboard = v.copyToClipboard;
    o.page = v.page;
}

// --- The scanner's own flags

// Above this, four bytes a pixel no longer fit in 64 bits with room to spare.
constexpr qint64 kMostMaxPixels = qint64(1) << 60;

qint64 parseMaxPixels(const QString& value)
{
    bool ok = false;
    const qint64 n = value.toLongLong(&ok);
    const bool digits =
        !value.isEmpty() && std::all_of(value.begin(), value.end(), [](QChar c) { return c.isDigit(); });
    if (!ok || !digits || n < 1 || n > kMostMaxPixels)
        throw UsageError{"--max-pixels takes a whole number from 1 to " + std::to_string(kMostMaxPixels)};
    return n;
}

QString nonEmpty(const QString& value, const char* option)
{
    if (value.isEmpty())
        throw UsageError{std::string(option) + " needs a file name"};
    return value;
}

struct OwnFlag {
    const char* shortName; // or null
    const char* name;
    const char* value; // null: takes none
    const char* help;
    void (*apply)(Options&, const QString& value);
};

const OwnFlag kOwnFlags[] = {
    {"-o", "--output", "FILE", "write there instead of standard output",
     [](Options& o, const QString& v) {
         if (v.isEmpty())
             throw UsageError{"the output file name is empty"};
         o.output = v;
     }},
    {nullptr, "--max-pixels", "N", "refuse pictures that claim more pixels (default 1000000000)",
     [](Options& o, const QString& v) { o.maxPixels = parseMaxPixels(v); }},
    {nullptr, "--settings", "FILE",
     "start from a settings file (the window's Save Settings);\nthe options above, given as well, override it\n(over "
     "a file in ink mode, --paper and --ink-tolerance\nmay be given alone)",
     [](Options& o, const QString& v) { o.settingsPath = nonEmpty(v, "--settings"); }},
    {nullptr, "--save-settings", "FILE", "write the settings in effect to FILE",
     [](Options& o, const QString& v) { o.saveSettingsPath = nonEmpty(v, "--save-settings"); }},
    {nullptr, "--scale-with-picture", nullptr,
     "scale the marks, the area, the scan width and following's\nStart, gap and maximum jump of the settings file to "
     "a\npicture of another size (only with --settings)",
     [](Options& o, const QString&) { o.scaleWithPicture = true; }},
    {nullptr, "--find-series", nullptr,
     "find the series of the scan area, one per colour of curve\nor markers, print each as a --series flag on "
     "standard\nerror, and scan them all (not with --series)",
     [](Options& o, const QString&) { o.findSeries = true; }},
    {"-O", "--output-dir", "DIR", "write <picture name>.txt into DIR for each picture;\nseveral pictures may be given",
     [](Options& o, const QString& v) { o.outputDir = nonEmpty(v, "--output-dir"); }},
    {"-j", "--jobs", "N", "scan N pictures at a time (default: the number of cores)",
     [](Options& o, const QString& v) {
         bool ok = false;
         const int n = v.toInt(&ok);
         if (!ok || n < 1 || n > 1024)
             throw UsageError{"-j takes a whole number from 1 to 1024"};
         o.jobs = n;
     }},
    // Read by parseArguments itself, for its optional value.
    {nullptr, "--find-axes[=print]", nullptr,
     "find the calibration from the picture's axes, ticks and\nlabels, print it on standard error as the flags that\n"
     "give it, and scan with it (=print: do not scan); exit 2\nwhen an axis cannot be read with confidence; "
     "without\n--area or a settings file, the scan takes the area that\n--find-area finds",
     [](Options& o, const QString&) { o.findAxes = Options::FindAxes::Scan; }},
    {nullptr, "--find-area", nullptr, "take the area inside the frame or the axes (printed as\n--area)",
     [](Options& o, const QString&) { o.findArea = true; }},
    {"-h", "--help", nullptr, nullptr, [](Options& o, const QString&) { o.help = true; }},
};

const OwnFlag* findOwnFlag(const QString& name)
{
    for (const OwnFlag& f : kOwnFlags)
        if (name == QLatin1String(f.name) || (f.shortName && name == QLatin1String(f.shortName)))
            return &f;
    return nullptr;
}

// One flag's lines: its names and value, then its help from column 27, each
// further line of the help under the first.
std::string usageLines(const char* shortName, const char* name, const char* value, const std::string& help)
{
    constexpr size_t kHelpColumn = 26;
    std::string line = "  ";
    if (shortName)
        line += std::string(shortName) + ", ";
    line += name;
    if (value)
        line += std::string(" ") + value;
    if (help.empty())
        return line + "\n";
    line.resize(std::max(line.size() + 1, kHelpColumn), ' ');
    size_t at = 0;
    while (true) {
        const size_t end = help.find('\n', at);
        line += help.substr(at, end - at) + "\n";
        if (end == std::string::npos)
            return line;
        line += std::string(kHelpColumn, ' ');
        at = end + 1;
    }
}

} // namespace

bool givenFlag(const Options& o, const char* flag)
{
    return std::any_of(o.given.begin(), o.given.end(),
                       [&](const auto& g) { return flag && std::string_view(g.first->flag) == flag; });
}

std::string usageText()
{
    std::string text = kUsageHead;
    for (const ScanOption& row : scanOptions())
        if (row.flag)
            text += usageLines(nullptr, row.flag, row.value, helpText(row));
    for (const OwnFlag& f : kOwnFlags)
        text += usageLines(f.shortName, f.name, f.value, f.help ? f.help : "");
    return text + kUsageTail;
}

Options parseArguments(const QStringList& args)
{
    Options o;
    for (int i = 0; i < args.size(); ++i) {
        QString arg = args[i];
        std::optional<QString> inlineValue;
        if (arg.startsWith("--") && arg.contains('=')) {
            inlineValue = arg.mid(arg.indexOf('=') + 1);
            arg = arg.left(arg.indexOf('='));
        }
        if (arg == "--find-axes") {
            if (inlineValue && *inlineValue != "print")
                throw UsageError{"--find-axes takes no value, or =print"};
            o.findAxes = inlineValue ? Options::FindAxes::Print : Options::FindAxes::Scan;
            continue;
        }
        const ScanOption* row = optionByFlag(arg.toStdString());
        const OwnFlag* own = row ? nullptr : findOwnFlag(arg);
        if (!row && !own) {
            if (arg.startsWith('-') && arg.size() > 1)
                throw UsageError{"unknown option '" + arg.toStdString() + "'"};
            o.images << arg;
            continue;
        }
        QString value;
        if (row ? row->value : own->value) {
            if (inlineValue)
                value = *inlineValue;
            else if (i + 1 < args.size())
                value = args[++i];
            else
                throw UsageError{arg.toStdString() + " needs a value"};
        } else if (inlineValue) {
            throw UsageError{arg.toStdString() + " takes no value"};
        }
        if (row) {
            checkFlagValue(*row, value);
            o.given.emplace_back(row, value);
        } else {
            own->apply(o, value);
        }
    }
    if (const auto alone = aloneCompanions(o); !alone.empty() && o.settingsPath.isEmpty())
        throw UsageError{companionsText(*alone.front())};
    for (const ScanOption& row : scanOptions())
        if (row.kind == OptionKind::ReferencePoints &&
            size_t(std::count_if(o.given.begin(), o.given.end(), [&](const auto& g) { return g.first == &row; })) >
                kMostReferencePoints)
            throw UsageError{std::string(row.flag) + " is given more than " + std::to_string(kMostReferencePoints) +
                             " times"};
    if (givenFlag(o, "--ref") && (givenFlag(o, "--x1") || givenFlag(o, "--y1")))
        throw UsageError{"--ref cannot be given with --x1 or --y1, which give X1 and Y1 as full points"};
    if (o.findAxes != Options::FindAxes::Off)
        for (const char* flag : {"--origin", "--ref", "--real-origin", "--real-ref", "--calibration", "--x1", "--y1",
                                 "--corner", "--point", "--log-x", "--log-y"})
            if (givenFlag(o, flag))
                throw UsageError{std::string("--find-axes finds the calibration; it cannot be given with ") + flag};
    if (o.findArea && givenFlag(o, "--area"))
        throw UsageError{"--find-area finds the area; it cannot be given with --area"};
    if ((o.findAxes != Options::FindAxes::Off || o.findArea) && (!o.outputDir.isEmpty() || o.images.size() > 1))
        throw UsageError{"--find-axes and --find-area take one picture"};
    if (o.findSeries && givenFlag(o, "--series"))
        throw UsageError{"--find-series finds the series; it cannot be given with --series"};
    if (o.scaleWithPicture && o.settingsPath.isEmpty())
        throw UsageError{"--scale-with-picture goes with --settings"};
    if (o.help)
        return o;
    if (o.images.isEmpty() && (o.findSeries || (o.saveSettingsPath.isEmpty() || o.settingsPath.isEmpty())))
        throw UsageError{"no picture given"};
    if (o.images.size() > 1 && o.outputDir.isEmpty())
        throw UsageError{"several pictures need an output folder: -O DIR"};
    if (!o.output.isEmpty() && !o.outputDir.isEmpty())
        throw UsageError{"-o and -O cannot be given together"};
    if (!o.settingsPath.isEmpty()) {
        try {
            o.settings = readSettingsFile(o.settingsPath);
        } catch (const SettingsFileError& e) {
            throw UsageError{e.what()};
        }
        checkCompanionsOverFile(o);
        // The file's points would join the found ticks' fit.
        if (o.findAxes != Options::FindAxes::Off && !o.settings->record.Calibration.Points.empty())
            throw UsageError{"--find-axes cannot be given over a settings file that holds reference points"};
    }
    mergeOutput(o);
    // The flags' series replace the file's.
    if (givenSeries(o).empty())
        nameFileSeries(o);
    return o;
}

Options optionsFromSettings(SavedSettings settings, bool scaleWithPicture)
{
    Options o;
    o.settings = std::move(settings);
    o.scaleWithPicture = scaleWithPicture;
    mergeOutput(o);
    return o;
}

OptionBoxes boxesWithFlags(const Options& o, OptionBoxes b)
{
    for (const auto& [row, value] : o.given) {
        const OptionControl* c = row->controls;
        switch (row->kind) {
        case OptionKind::Whole:
            if (c[0].text)
                b.*c[0].text = value.toStdString();
            break;
        case OptionKind::OnOff:
            if (c[0].check)
                b.*c[0].check = true;
            break;
        case OptionKind::Positions:
        case OptionKind::Reals: {
            const std::vector<std::string> numbers = splitList(value, numberCount(*row), row->flag);
            for (size_t i = 0; i < numbers.size(); ++i)
                b.*c[i].text = numbers[i];
            break;
        }
        case OptionKind::Point: {
            // A full point whose number is also a box's: X1's x is RefX.
            const auto [x, y] = pointFlag(*row, value);
            for (int i = 0; i < 2; ++i)
                if (c[i].text)
                    b.*c[i].text = formatReal(i == 0 ? x : y, ".");
            break;
        }
        case OptionKind::Choice:
            if (c[0].choice)
                b.*c[0].choice = choiceFlag(*row, value);
            break;
        case OptionKind::Colour:
            b.*c[0].colour = colourFlag(value, row->flag);
            if (row->switchesOn)
                b.*row->switchesOn = true;
            break;
        default: break;
        }
    }
    return b;
}

std::optional<std::pair<double, double>> givenPoint(const Options& o, const ScanOption& row)
{
    std::optional<std::pair<double, double>> point;
    for (const auto& [r, value] : o.given)
        if (r == &row)
            point = pointFlag(row, value);
    return point;
}

void applyCalibrationFlags(const Options& o, ScanSettings& record)
{
    bool pointsGiven = false;
    for (const auto& [row, value] : o.given) {
        OptionValues v{record};
        if (row->kind == OptionKind::Choice) {
            row->choose(v, choiceFlag(*row, value));
        } else if (row->kind == OptionKind::ReferencePoints) {
            // The flags' points replace the settings file's.
            if (!pointsGiven)
                row->points(v).clear();
            pointsGiven = true;
            row->points(v).push_back(referencePointFlag(*row, value));
        } else {
            continue;
        }
        record = v.record;
    }
}

void applySeriesFlags(const Options& o, ScanSettings& record)
{
    // The flags' series replace the settings file's.
    if (std::vector<SeriesSettings> series = givenSeries(o); !series.empty())
        record.Series = std::move(series);
}

} // namespace plotrun
