#include "ScanFlags.h"

#include "../scan/InkModel.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <map>

namespace plotrun {

const char* const kUsage = R"(Usage: plotrun-scan [options] IMAGE
       plotrun-scan [options] -O DIR IMAGE...
Scans the area of a chart picture strip by strip and writes one line of
numbers for each strip that holds dark pixels.

  --origin X,Y            OriginX, OriginY
  --ref X,Y               RefX (the X1 reference), RefY (the Y1 reference)
  --real-origin X,Y       RealOriginX, RealOriginY (default 0,0)
  --real-ref X,Y          RealRefX, RealRefY
  --area X1,Y1,X2,Y2      ScanStartX, ScanStartY, ScanEndX, ScanEndY
  --scan-width N          default 1
  --threshold N           default 128
  --weighted-x
  --log-x                 a logarithmic x axis: real x values above 0
  --log-y                 a logarithmic y axis: real y values above 0
  --ink COLOUR            ink mode: count only pixels of this colour, as
                          R,G,B or '#rrggbb'; a pixel weighs by its share of ink
  --paper COLOUR          the paper colour of ink mode (default 255,255,255)
  --ink-tolerance N       how far, in RGB units, a pixel may lie off the line
                          from paper to ink and still count (default 40)
  --follow                follow one curve: each strip's point comes from the
                          run of rows that continues the curve
  --start X,Y             where following starts (bitmap coordinates); default:
                          a strip near the middle that holds one clear run
  --gap N                 empty rows that split a strip into runs (default 3)
  --max-jump N            rows a point may move from one strip to the next
                          (default: a tenth of the area height)
  --remove-lines          leave out rows and columns whose pixels run across at
                          least 90 % of the area: axes, frame and grid lines
  --fields LIST           comma list of real, sdev, sdevy, bitmap (default real)
  --header                include the block of scanning parameters
  --column-names          include the column-names line
  --name KEY=TEXT         column name; KEY is x, y, sdev, sdevy, xb or yb; repeatable
  --delimiter TEXT        default: the start delimiter rule, from the decimal separator;
                          not empty, and without digits, signs, E, e, the decimal
                          separator or line breaks
  --decimal-separator C   default: the user's locale
  -o, --output FILE       write there instead of standard output
  --max-pixels N          refuse pictures that claim more pixels (default 1000000000)
  --settings FILE         start from a settings file (the window's Save Settings);
                          the options above, given as well, override it
                          (over a file in ink mode, --paper and --ink-tolerance
                          may be given alone)
  --save-settings FILE    write the settings in effect to FILE
  --scale-with-picture    scale the marks, the area, the scan width and following's
                          Start, gap and maximum jump of the settings file to a
                          picture of another size (only with --settings)
  -O, --output-dir DIR    write <picture name>.txt into DIR for each picture;
                          several pictures may be given
  -j, --jobs N            scan N pictures at a time (default: the number of cores)
  -h, --help

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

namespace {

std::vector<std::string> splitList(const QString& value, int count, const char* option)
{
    const QStringList parts = value.split(',');
    if (parts.size() != count)
        throw UsageError{std::string(option) + " takes " + std::to_string(count) + " numbers separated by commas"};
    std::vector<std::string> out;
    for (const QString& p : parts)
        out.push_back(p.toStdString());
    return out;
}

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

void setFields(Options& o, const QString& value)
{
    o.fieldListGiven = true;
    o.fields.realCoordinates = o.fields.sdev = o.fields.sdevY = o.fields.bitmapCoordinates = false;
    for (const QString& f : value.split(',')) {
        if (f == "real")
            o.fields.realCoordinates = true;
        else if (f == "sdev")
            o.fields.sdev = true;
        else if (f == "sdevy")
            o.fields.sdevY = true;
        else if (f == "bitmap")
            o.fields.bitmapCoordinates = true;
        else
            throw UsageError{"unknown field '" + f.toStdString() + "' (real, sdev, sdevy or bitmap)"};
    }
}

void setColumnName(Options& o, const QString& value)
{
    static const std::map<QString, Field> keys{{"x", Field::RealX},     {"y", Field::RealY},    {"sdev", Field::Sdev},
                                               {"sdevy", Field::SdevY}, {"xb", Field::BitmapX}, {"yb", Field::BitmapY}};
    const int eq = value.indexOf('=');
    const auto key = keys.find(value.left(eq));
    if (eq < 0 || key == keys.end())
        throw UsageError{"--name takes KEY=TEXT with KEY x, y, sdev, sdevy, xb or yb"};
    const QString text = value.mid(eq + 1);
    if (text.size() > 40)
        throw UsageError{"a column name holds at most 40 characters"};
    o.fields.names[static_cast<int>(key->second)] = text.toStdString();
    o.nameGiven[static_cast<int>(key->second)] = true;
}

void setDelimiter(Options& o, const QString& value)
{
    if (value.size() > 8)
        throw UsageError{"the delimiter holds at most 8 characters"};
    // What else it may not hold depends on the decimal separator, which is
    // known once every flag and the settings file are read.
    o.delimiter = value.toStdString();
}

void setDecimalSeparator(Options& o, const QString& value)
{
    if (value.size() != 1)
        throw UsageError{"the decimal separator is one character"};
    // Each of these would make a number read as another or as two.
    const QChar c = value[0];
    if (c.isDigit() || c == '+' || c == '-' || c == 'E' || c == 'e')
        throw UsageError{"the decimal separator cannot be a digit, a sign, E or e"};
    if (c.category() == QChar::Other_Control)
        throw UsageError{"the decimal separator cannot be a control character"};
    o.decimalSeparatorGiven = value.toStdString();
}

uint32_t colourOf(const QString& value, const char* option)
{
    const std::optional<uint32_t> c = readColour(value.trimmed().toStdString());
    if (!c)
        throw UsageError{std::string(option) + " takes R,G,B (each 0 to 255) or #rrggbb"};
    return *c;
}

void setOutput(Options& o, const QString& value)
{
    if (value.isEmpty())
        throw UsageError{"the output file name is empty"};
    o.output = value;
}

QString nonEmpty(const QString& value, const char* option)
{
    if (value.isEmpty())
        throw UsageError{std::string(option) + " needs a file name"};
    return value;
}

void setOutputDir(Options& o, const QString& value) { o.outputDir = nonEmpty(value, "--output-dir"); }

void setJobs(Options& o, const QString& value)
{
    bool ok = false;
    const int n = value.toInt(&ok);
    if (!ok || n < 1 || n > 1024)
        throw UsageError{"-j takes a whole number from 1 to 1024"};
    o.jobs = n;
}

struct Flag {
    const char* name;
    bool takesValue;
    void (*apply)(Options&, const QString& value);
};

int32_t wholeAtLeast(const QString& value, int32_t least, const char* option)
{
    bool ok = false;
    const int n = value.toInt(&ok);
    if (!ok || n < least)
        throw UsageError{std::string(option) + " takes a whole number of at least " + std::to_string(least)};
    return n;
}

void setStart(Options& o, const QString& value)
{
    const auto p = splitList(value, 2, "--start");
    bool okX = false, okY = false;
    const double x = QString::fromStdString(p[0]).toDouble(&okX);
    const double y = QString::fromStdString(p[1]).toDouble(&okY);
    if (!okX || !okY || x < 0 || y < 0 || x != std::trunc(x) || y != std::trunc(y) || x > 2147483647.0 ||
        y > 2147483647.0)
        throw UsageError{"--start takes two whole numbers of at least 0, X,Y in bitmap coordinates"};
    o.followStart = {x, y};
}

// Every option of the scanner; -h and -o are the short forms.
const Flag kFlags[] = {
    {"-h", false, [](Options& o, const QString&) { o.help = true; }},
    {"--help", false, [](Options& o, const QString&) { o.help = true; }},
    {"--origin", true,
     [](Options& o, const QString& v) {
         const auto p = splitList(v, 2, "--origin");
         o.setBox(&OptionBoxes::SelOX, p[0]);
         o.setBox(&OptionBoxes::SelOY, p[1]);
     }},
    {"--ref", true,
     [](Options& o, const QString& v) {
         const auto p = splitList(v, 2, "--ref");
         o.setBox(&OptionBoxes::SelX, p[0]);
         o.setBox(&OptionBoxes::SelY, p[1]);
     }},
    {"--real-origin", true,
     [](Options& o, const QString& v) {
         const auto p = splitList(v, 2, "--real-origin");
         o.setBox(&OptionBoxes::SelOXR, p[0]);
         o.setBox(&OptionBoxes::SelOYR, p[1]);
     }},
    {"--real-ref", true,
     [](Options& o, const QString& v) {
         const auto p = splitList(v, 2, "--real-ref");
         o.setBox(&OptionBoxes::SelXR, p[0]);
         o.setBox(&OptionBoxes::SelYR, p[1]);
     }},
    {"--area", true,
     [](Options& o, const QString& v) {
         const auto p = splitList(v, 4, "--area");
         o.setBox(&OptionBoxes::SelSX1, p[0]);
         o.setBox(&OptionBoxes::SelSY1, p[1]);
         o.setBox(&OptionBoxes::SelSX2, p[2]);
         o.setBox(&OptionBoxes::SelSY2, p[3]);
     }},
    {"--scan-width", true, [](Options& o, const QString& v) { o.setBox(&OptionBoxes::SelSW, v.toStdString()); }},
    {"--threshold", true, [](Options& o, const QString& v) { o.setBox(&OptionBoxes::Threshold, v.toStdString()); }},
    {"--weighted-x", false, [](Options& o, const QString&) { o.boxes.SelWt = true; }},
    {"--log-x", false, [](Options& o, const QString&) { o.boxes.LogXCheckBox = true; }},
    {"--log-y", false, [](Options& o, const QString&) { o.boxes.LogYCheckBox = true; }},
    {"--ink", true,
     [](Options& o, const QString& v) {
         o.boxes.InkCheckBox = true;
         o.boxes.InkColour = colourOf(v, "--ink");
     }},
    {"--paper", true,
     [](Options& o, const QString& v) {
         o.boxes.PaperColour = colourOf(v, "--paper");
         o.inkCompanions = o.paperGiven = true;
     }},
    {"--ink-tolerance", true,
     [](Options& o, const QString& v) {
         o.setBox(&OptionBoxes::SelInkTol, v.toStdString());
         o.inkCompanions = true;
     }},
    {"--follow", false, [](Options& o, const QString&) { o.boxes.FollowCheckBox = true; }},
    {"--remove-lines", false, [](Options& o, const QString&) { o.boxes.RemoveLinesCheckBox = true; }},
    {"--start", true, setStart},
    {"--gap", true, [](Options& o, const QString& v) { o.followGap = wholeAtLeast(v, 1, "--gap"); }},
    {"--max-jump", true, [](Options& o, const QString& v) { o.followMaxJump = wholeAtLeast(v, 1, "--max-jump"); }},
    {"--fields", true, setFields},
    {"--header", false, [](Options& o, const QString&) { o.fields.scanningParameters = true; }},
    {"--column-names", false, [](Options& o, const QString&) { o.fields.columnNames = true; }},
    {"--name", true, setColumnName},
    {"--delimiter", true, setDelimiter},
    {"--decimal-separator", true, setDecimalSeparator},
    {"-o", true, setOutput},
    {"--output", true, setOutput},
    {"--max-pixels", true, [](Options& o, const QString& v) { o.maxPixels = parseMaxPixels(v); }},
    {"--settings", true, [](Options& o, const QString& v) { o.settingsPath = nonEmpty(v, "--settings"); }},
    {"--save-settings", true,
     [](Options& o, const QString& v) { o.saveSettingsPath = nonEmpty(v, "--save-settings"); }},
    {"--scale-with-picture", false, [](Options& o, const QString&) { o.scaleWithPicture = true; }},
    {"-O", true, setOutputDir},
    {"--output-dir", true, setOutputDir},
    {"-j", true, setJobs},
    {"--jobs", true, setJobs},
};

const Flag* findFlag(const QString& name)
{
    for (const Flag& f : kFlags)
        if (name == QLatin1String(f.name))
            return &f;
    return nullptr;
}

// The output fields: the settings file's, or the start values, with what the
// flags gave over them.
void mergeOutputFields(Options& o)
{
    const OutputFields flags = o.fields;
    OutputFields f = o.settings ? o.settings->fields : OutputFields{};
    if (o.fieldListGiven) {
        f.realCoordinates = flags.realCoordinates;
        f.sdev = flags.sdev;
        f.sdevY = flags.sdevY;
        f.bitmapCoordinates = flags.bitmapCoordinates;
    }
    f.scanningParameters = f.scanningParameters || flags.scanningParameters;
    f.columnNames = f.columnNames || flags.columnNames;
    for (int i = 0; i < kFieldCount; ++i)
        if (o.nameGiven[i])
            f.names[i] = flags.names[i];
    o.decimalSeparator = o.decimalSeparatorGiven.value_or(o.settings ? o.settings->decimalSeparator
                                                                     : QLocale::system().decimalPoint().toStdString());
    f.delimiter = o.delimiter.value_or(o.settings ? f.delimiter : startDelimiter(o.decimalSeparator));
    // The settings file's delimiter suits its own decimal separator; another
    // one given here may not suit it.
    if (!delimiterIsValid(f.delimiter, o.decimalSeparator))
        throw UsageError{o.delimiter ? std::string(kInvalidDelimiterText)
                                     : "the settings file's delimiter \"" + f.delimiter +
                                           "\" does not go with this decimal separator. " + kInvalidDelimiterText};
    o.fields = f;
}

} // namespace

Options parseArguments(const QStringList& args)
{
    Options o;
    // Coordinates that are not given count as empty boxes.
    o.boxes.SelSW = "1";
    o.boxes.Threshold = "128";
    for (int i = 0; i < args.size(); ++i) {
        QString arg = args[i];
        std::optional<QString> inlineValue;
        if (arg.startsWith("--") && arg.contains('=')) {
            inlineValue = arg.mid(arg.indexOf('=') + 1);
            arg = arg.left(arg.indexOf('='));
        }
        const Flag* flag = findFlag(arg);
        if (!flag) {
            if (arg.startsWith('-') && arg.size() > 1)
                throw UsageError{"unknown option '" + arg.toStdString() + "'"};
            o.images << arg;
            continue;
        }
        QString value;
        if (flag->takesValue) {
            if (inlineValue)
                value = *inlineValue;
            else if (i + 1 < args.size())
                value = args[++i];
            else
                throw UsageError{arg.toStdString() + " needs a value"};
        } else if (inlineValue) {
            throw UsageError{arg.toStdString() + " takes no value"};
        }
        flag->apply(o, value);
    }
    if (!o.fields.realCoordinates && !o.fields.sdev && !o.fields.sdevY && !o.fields.bitmapCoordinates)
        throw UsageError{"at least one output field must be selected"};
    // Over a settings file in ink mode they change its ink group.
    if (o.inkCompanions && !o.boxes.InkCheckBox && o.settingsPath.isEmpty())
        throw UsageError{"--paper and --ink-tolerance go with --ink"};
    if ((o.followStart || o.followMaxJump) && !o.boxes.FollowCheckBox && o.settingsPath.isEmpty())
        throw UsageError{"--start and --max-jump go with --follow"};
    if (o.followGap && !o.boxes.FollowCheckBox && !o.boxes.RemoveLinesCheckBox && o.settingsPath.isEmpty())
        throw UsageError{"--gap goes with --follow or --remove-lines"};
    if (o.scaleWithPicture && o.settingsPath.isEmpty())
        throw UsageError{"--scale-with-picture goes with --settings"};
    if (o.help)
        return o;
    if (o.images.isEmpty() && (o.saveSettingsPath.isEmpty() || o.settingsPath.isEmpty()))
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
        if (o.inkCompanions && !o.boxes.InkCheckBox && !o.settings->record.Ink.On)
            throw UsageError{"--paper and --ink-tolerance go with --ink, or with a settings file in ink mode"};
    }
    mergeOutputFields(o);
    return o;
}

} // namespace plotrun
