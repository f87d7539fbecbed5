#include "ScanCommand.h"

#include "../files/BmpRows.h"
#include "../files/PictureFile.h"
#include "../files/SettingsFile.h"
#include "../files/TextFile.h"
#include "../scan/ColumnScan.h"
#include "../scan/CurveFollow.h"
#include "../scan/InkModel.h"
#include "../scan/OptionChecks.h"
#include "../scan/ScanReport.h"
#include "../scan/Threads.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImageReader>
#include <QLocale>
#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

namespace plotrun {

namespace {

constexpr const char* kUsage = R"(Usage: plotrun-scan [options] IMAGE
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

struct UsageError {
    std::string text;
};

struct Options {
    OptionBoxes boxes;
    // The boxes that flags gave; over a settings file, only these change.
    std::vector<std::string OptionBoxes::*> givenBoxes;
    OutputFields fields;
    bool fieldListGiven = false;
    std::array<bool, kFieldCount> nameGiven{};
    std::optional<std::string> delimiter;
    std::optional<std::string> decimalSeparatorGiven;
    std::string decimalSeparator;
    QStringList images;
    QString output;
    QString outputDir;
    QString settingsPath;
    QString saveSettingsPath;
    std::optional<SavedSettings> settings;
    bool scaleWithPicture = false;
    int jobs = 0;
    qint64 maxPixels = kDefaultMaxPixels;
    bool help = false;
    bool inkCompanions = false; // --paper or --ink-tolerance given
    bool paperGiven = false;
    // --start, --gap and --max-jump; over the settings file's values.
    std::optional<std::pair<double, double>> followStart;
    std::optional<int32_t> followGap;
    std::optional<int32_t> followMaxJump;

    void setBox(std::string OptionBoxes::*box, std::string text)
    {
        boxes.*box = std::move(text);
        givenBoxes.push_back(box);
    }
};

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

// What one picture gave: the exit code of a one-picture run, the output
// text when it was done, and the messages in the order they arose.
struct PictureScan {
    int code = kScanDone;
    std::string text;
    std::string messages;
};

// The settings for one picture of width x height: the settings file's
// record (scaled when asked), with the boxes that flags gave over it, judged
// by the options checks.
struct PictureSettings {
    OptionBoxes boxes;
    OptionVerdict verdict;
    std::string refusal; // a picture of another size than the settings'
};

PictureSettings settingsFor(const Options& o, int32_t width, int32_t height, const QString& name)
{
    PictureSettings p;
    FollowSettings savedFollow; // the file's, scaled with the rest
    if (!o.settings) {
        p.boxes = o.boxes;
    } else {
        const SavedSettings& s = *o.settings;
        ScanSettings record = s.record;
        if (width != s.pictureWidth || height != s.pictureHeight) {
            if (!o.scaleWithPicture) {
                p.refusal = QString("The picture \"%1\" has %2 x %3 pixels, but the settings were made on a picture "
                                    "of %4 x %5 pixels. Give --scale-with-picture to scale them with the picture.\n")
                                .arg(name)
                                .arg(width)
                                .arg(height)
                                .arg(s.pictureWidth)
                                .arg(s.pictureHeight)
                                .toStdString();
                return p;
            }
            record = scaledToPicture(s, width, height);
        }
        savedFollow = record.Follow;
        p.boxes = exactBoxes(record);
        for (std::string OptionBoxes::*box : o.givenBoxes)
            p.boxes.*box = o.boxes.*box;
        p.boxes.SelWt = p.boxes.SelWt || o.boxes.SelWt;
        // The check boxes and colours that flags gave.
        p.boxes.LogXCheckBox = p.boxes.LogXCheckBox || o.boxes.LogXCheckBox;
        p.boxes.LogYCheckBox = p.boxes.LogYCheckBox || o.boxes.LogYCheckBox;
        if (o.boxes.InkCheckBox) {
            p.boxes.InkCheckBox = true;
            p.boxes.InkColour = o.boxes.InkColour;
        }
        if (o.paperGiven)
            p.boxes.PaperColour = o.boxes.PaperColour;
        p.boxes.FollowCheckBox = p.boxes.FollowCheckBox || o.boxes.FollowCheckBox;
        p.boxes.RemoveLinesCheckBox = p.boxes.RemoveLinesCheckBox || o.boxes.RemoveLinesCheckBox;
    }
    // The same checks as the options dialog's OK, over the same texts.
    p.verdict = checkOptions(p.boxes, ScanSettings{}, width, height, ".");
    // Following: the settings file's values, with what the flags gave over them.
    FollowSettings& follow = p.verdict.record.Follow;
    if (o.settings) {
        follow.Gap = savedFollow.Gap;
        follow.MaxJump = savedFollow.MaxJump;
        follow.StartX = savedFollow.StartX;
        follow.StartY = savedFollow.StartY;
    }
    if (o.followGap)
        follow.Gap = *o.followGap;
    if (o.followMaxJump)
        follow.MaxJump = *o.followMaxJump;
    if (o.followStart) {
        follow.StartX = o.followStart->first;
        follow.StartY = o.followStart->second;
        // A Start far from the area would only pick the edge strip's run.
        const ScanSettings& r = p.verdict.record;
        const auto within = [](double v, double a, double b) { return v >= std::min(a, b) && v <= std::max(a, b); };
        if (p.verdict.inputValid &&
            (!within(follow.StartX, r.ScanStartX, r.ScanEndX) || !within(follow.StartY, r.ScanStartY, r.ScanEndY)))
            p.refusal = QString("--start %1,%2 lies outside the scan area %3,%4,%5,%6.\n")
                            .arg(follow.StartX)
                            .arg(follow.StartY)
                            .arg(r.ScanStartX)
                            .arg(r.ScanStartY)
                            .arg(r.ScanEndX)
                            .arg(r.ScanEndY)
                            .toStdString();
    }
    return p;
}

// The name a picture goes by in messages: its file name, or the path as
// given when that ends in a slash.
QString pictureName(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    return name.isEmpty() ? path : name;
}

// `memoryBudget`: what the picture may take; -1, what is free.
PictureScan scanPicture(const Options& o, const QString& image, qint64 memoryBudget = -1)
{
    PictureScan out;
    const QString name = pictureName(image);
    // The settings are judged as soon as the picture's size is known, so
    // that only the rows the scan reads need be held.
    std::optional<PictureSettings> judged;
    const RowChooser rows = [&](int32_t width, int32_t height) -> std::pair<int32_t, int32_t> {
        judged = settingsFor(o, width, height, name);
        if (!judged->refusal.empty() || !judged->verdict.inputValid)
            return {0, 0};
        ScanSettings settings = judged->verdict.record;
        const ScanChecks checks = checkScan(settings);
        if (checks.stop != ScanStop::None)
            return {0, 0};
        const RowSpan span = rowsReadByScan(height, settings, checks);
        return {span.first, span.end};
    };
    Picture picture;
    try {
        picture = loadPicture(image, o.maxPixels, rows, memoryBudget);
    } catch (const PixelLimitError& e) {
        out.messages = std::string(e.what()) + " Raise the limit with --max-pixels N.\n";
        out.code = kScanFileError;
        return out;
    } catch (const PictureError& e) {
        out.messages = std::string(e.what()) + "\n";
        out.code = kScanFileError;
        return out;
    }
    const PixelView view = pixelView(picture);
    if (view.width < 2 || view.height < 2) {
        out.messages = "The size of the bitmap must be at least 2x2\n";
        out.code = kScanFileError;
        return out;
    }
    if (!judged)
        judged = settingsFor(o, view.width, view.height, name);
    if (!judged->refusal.empty()) {
        out.messages = judged->refusal;
        out.code = kScanUsage;
        return out;
    }
    if (!judged->verdict.inputValid) {
        out.messages = judged->verdict.messages;
        out.code = kScanUsage;
        return out;
    }
    ScanSettings settings = judged->verdict.record;

    const ScanChecks checks = checkScan(settings);
    if (checks.widthResized)
        out.messages += widthResizedNotice(checks.areaWidth).text + "\n";
    if (checks.stop != ScanStop::None) {
        out.messages += stopNotice(checks.stop).text;
        out.code = kScanAborted;
        return out;
    }

    ScanReport report(o.fields, o.decimalSeparator, ScanReport::Keep::TextOnly);
    try {
        runColumnScan(view, settings, checks, o.fields.wantsSpread(),
                      {[&](const ResultRow& r) { report.addRow(r); }, nullptr,
                       [&](const FollowCounts& c) { out.messages += followCountsText(c) + "\n"; }});
    } catch (const BmpReadError& e) {
        // Rows read while they are scanned: the file changed under the scan.
        out.messages += QString("Cannot read picture \"%1\": %2\n").arg(name, e.what()).toStdString();
        out.code = kScanFileError;
        return out;
    }
    picture.image = QImage(); // the text may be large too
    picture.feed.reset();
    if (report.hasNonFinite()) {
        out.messages += notFiniteNotice(report.firstNonFiniteRow()).text;
        out.code = kScanNotFinite;
        return out;
    }
    out.text = report.text(
        {std::to_string(view.width), view.height, picture.bitsPerPixel.toStdString(), judged->boxes.SelWt}, settings);
    return out;
}

// Writes the settings in effect for a picture of width x height; false, with
// the messages written, when the checks refuse them.
bool saveSettings(const Options& o, int32_t width, int32_t height, std::ostream& err)
{
    const PictureSettings p = settingsFor(o, width, height, pictureName(o.images.value(0)));
    if (!p.refusal.empty() || !p.verdict.inputValid) {
        err << (p.refusal.empty() ? p.verdict.messages : p.refusal);
        return false;
    }
    SavedSettings s;
    s.record = p.verdict.record;
    s.pictureWidth = width;
    s.pictureHeight = height;
    s.fields = o.fields;
    s.decimalSeparator = o.decimalSeparator;
    s.copyToClipboard = o.settings ? o.settings->copyToClipboard : true;
    const QString error = writeSettingsFile(o.saveSettingsPath, s);
    if (!error.isEmpty()) {
        err << "plotrun-scan: cannot write \"" << o.saveSettingsPath.toStdString() << "\": " << error.toStdString()
            << "\n";
        return false;
    }
    return true;
}

// Each line of a message, prefixed for standard error.
std::string prefixed(const std::string& prefix, const std::string& messages)
{
    std::string out;
    size_t at = 0;
    while (at < messages.size()) {
        size_t end = messages.find('\n', at);
        if (end == std::string::npos)
            end = messages.size();
        if (end > at)
            out += prefix + messages.substr(at, end - at) + "\n";
        at = end + 1;
    }
    return out;
}

// Output files are written by threads of their own: while one waits for the
// disk to take a file, the scanning threads go on with the next pictures, and
// the other writers with the next files. At most a few texts wait at a time:
// a scanning thread that finds the queue full waits for room.
class OutputWriter {
public:
    using Write = std::function<void(int, PictureScan)>;

    OutputWriter(int jobs, Write write) : limit_(size_t(std::max(2, 2 * jobs))), write_(std::move(write))
    {
        // Writers mostly wait for the disk, which takes several files at
        // once as readily as one. One job has one writer, so that its
        // pictures are done in their order.
        const int writers = std::clamp(jobs, 1, 8);
        try {
            threads_.reserve(size_t(writers));
            for (int w = 0; w < writers; ++w)
                threads_.emplace_back([this] { run(); });
        } catch (const std::exception&) {
            // Fewer writers; with none, each file is written by the thread
            // that scanned it.
        }
    }
    ~OutputWriter() { finish(); }
    OutputWriter(const OutputWriter&) = delete;
    OutputWriter& operator=(const OutputWriter&) = delete;

    void write(int index, PictureScan scan)
    {
        if (threads_.empty()) {
            write_(index, std::move(scan));
            return;
        }
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return queue_.size() < limit_; });
        queue_.emplace_back(index, std::move(scan));
        changed_.notify_all();
    }

    // Waits until everything handed over is written.
    void finish()
    {
        {
            const std::lock_guard lock(mutex_);
            closed_ = true;
        }
        changed_.notify_all();
        for (std::thread& t : threads_)
            if (t.joinable())
                t.join();
    }

private:
    void run()
    {
        while (true) {
            std::pair<int, PictureScan> next;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [this] { return closed_ || !queue_.empty(); });
                if (queue_.empty())
                    return;
                next = std::move(queue_.front());
                queue_.pop_front();
            }
            changed_.notify_all();
            try {
                write_(next.first, std::move(next.second));
            } catch (...) { // the picture stays counted as failed
            }
        }
    }

    const size_t limit_;
    Write write_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::pair<int, PictureScan>> queue_;
    bool closed_ = false;
    std::vector<std::thread> threads_;
};

// Several pictures, each to its own file in the output folder, N at a time.
// The pictures share nothing: each is loaded, judged, scanned and written on
// its own, and a failure skips only that picture.
int runBatch(const Options& o, std::ostream& err, bool errIsTerminal)
{
    QStringList outputs;
    std::map<QString, QString> taken;
    for (const QString& image : o.images) {
        // A picture named ".png" has no base name, and its output is not
        // made a hidden ".txt": it is named "png.txt".
        QString base = QFileInfo(image).completeBaseName();
        if (base.isEmpty())
            base = image.section('/', -1, -1, QString::SectionSkipEmpty).remove(QRegularExpression("^\\.+"));
        const QString file = base + ".txt";
        if (taken.count(file)) {
            err << "plotrun-scan: the pictures \"" << taken[file].toStdString() << "\" and \"" << image.toStdString()
                << "\" would both write " << file.toStdString() << "\nTry 'plotrun-scan --help'.\n";
            return kScanUsage;
        }
        taken[file] = image;
        outputs << QDir(o.outputDir).filePath(file);
    }
    if (!QDir().mkpath(o.outputDir)) {
        err << "plotrun-scan: cannot make the output folder \"" << o.outputDir.toStdString() << "\"\n";
        return kScanFileError;
    }

    // No output may be written through a link onto a picture of the batch
    // or onto the settings file: every input is known by its identity.
    std::map<FileIdentity, QString> inputs;
    for (const QString& image : o.images)
        if (const auto id = fileIdentity(image))
            inputs.emplace(*id, "the picture \"" + image + "\"");
    for (const QString& settings : {o.settingsPath, o.saveSettingsPath})
        if (const auto id = settings.isEmpty() ? std::nullopt : fileIdentity(settings))
            inputs.emplace(*id, "the settings file \"" + settings + "\"");
    const auto overwrites = [&](const QString& output) -> QString {
        const auto id = fileIdentity(output);
        const auto it = id ? inputs.find(*id) : inputs.end();
        return it == inputs.end() ? QString() : it->second;
    };

    const int count = int(o.images.size());
    const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
    const int jobs = std::min(count, o.jobs > 0 ? o.jobs : cores);
    // The pictures running at once share the cores: a large one is not split
    // further among threads that would only wait for each other.
    const ThreadsPerPictureLimit share(std::max(1, cores / jobs));
    // And the memory: each picture that runs may take its share of what is
    // free now, so that N large pictures together do not take N times it.
    const qint64 memoryShare = pictureMemoryBudget() / jobs;
    // A picture counts as failed until its result is in.
    std::vector<PictureScan> results(static_cast<size_t>(count), PictureScan{kScanFileError, {}, "not scanned\n"});
    std::atomic<int> next = 0;
    int finished = 0;
    std::mutex progress;
    QElapsedTimer clock;
    clock.start();
    // A picture is done once its result is in `results`; the progress line
    // counts it.
    const auto done = [&](int i, PictureScan r) {
        r.text.clear();
        results[size_t(i)] = std::move(r);
        try {
            const std::lock_guard lock(progress);
            ++finished;
            if (errIsTerminal)
                err << "\r[" << finished << "/" << count << "] " << pictureName(o.images[i]).toStdString() << "\x1b[K"
                    << std::flush;
        } catch (...) { // only the progress line is lost
        }
    };
    // Each output file is written whole, or not at all, by the writers.
    OutputWriter writer(jobs, [&](int i, PictureScan r) {
        try {
            const QString error = writeTextFile(outputs[i], r.text);
            if (!error.isEmpty()) {
                r.code = kScanFileError;
                r.messages += "cannot write \"" + outputs[i].toStdString() + "\": " + error.toStdString() + "\n";
            }
        } catch (const std::exception& e) {
            r.code = kScanFileError;
            r.messages += std::string(e.what()) + "\n";
        }
        done(i, std::move(r));
    });
    const auto work = [&] {
        for (int i = next++; i < count; i = next++) {
            try {
                PictureScan r;
                if (const QString input = overwrites(outputs[i]); !input.isEmpty()) {
                    r.code = kScanUsage;
                    r.messages = "the output file \"" + outputs[i].toStdString() + "\" is " + input.toStdString() +
                                 "; it is not written\n";
                } else {
                    r = scanPicture(o, o.images[i], memoryShare);
                }
                if (r.code == kScanDone)
                    writer.write(i, std::move(r));
                else
                    done(i, std::move(r));
            } catch (const std::exception& e) { // out of memory, above all
                try {
                    done(i, PictureScan{kScanFileError, {}, std::string(e.what()) + "\n"});
                } catch (...) { // the picture stays counted as failed
                }
            }
        }
    };
    // Fewer threads than asked for when the system has none to spare.
    std::vector<std::thread> workers;
    try {
        workers.reserve(size_t(jobs));
        for (int t = 1; t < jobs; ++t)
            workers.emplace_back(work);
    } catch (const std::exception&) {
    }
    work();
    for (std::thread& w : workers)
        w.join();
    writer.finish();
    if (errIsTerminal)
        err << "\r\x1b[K";

    int failed = 0;
    for (int i = 0; i < count; ++i) {
        const PictureScan& r = results[size_t(i)];
        const std::string prefix = "plotrun-scan: " + pictureName(o.images[i]).toStdString() + ": ";
        if (r.code != kScanDone) {
            ++failed;
            err << prefix << "failed\n" << prefixed(prefix, r.messages);
        } else if (!r.messages.empty()) {
            err << prefixed(prefix, r.messages);
        }
    }
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    err << "plotrun-scan: " << count - failed << " of " << count << " pictures done, " << failed << " failed, in "
        << QString::number(seconds, 'f', 2).toStdString() << " s ("
        << QString::number(seconds > 0 ? count / seconds : 0, 'f', 1).toStdString() << " pictures/s) with " << jobs
        << (jobs == 1 ? " job" : " jobs") << "\n";
    return failed ? kScanFileError : kScanDone;
}

// The size of a picture as its header tells it, for --save-settings; an
// invalid size when it cannot be told.
QSize headerSize(const QString& path)
{
    QImageReader reader(path);
    return reader.size();
}

} // namespace

int runScanCommand(const QStringList& args, std::ostream& out, std::ostream& err, bool errIsTerminal)
{
    Options o;
    try {
        o = parseArguments(args);
    } catch (const UsageError& e) {
        err << "plotrun-scan: " << e.text << "\nTry 'plotrun-scan --help'.\n";
        return kScanUsage;
    }
    if (o.help) {
        out << kUsage;
        return kScanDone;
    }

    if (!o.saveSettingsPath.isEmpty()) {
        // Writing the settings over a picture would destroy it (a picture
        // name given as the settings file's by a slip), and over the output,
        // one of the two would be lost.
        for (const QString& image : o.images)
            if (isSameFile(o.saveSettingsPath, image)) {
                err << "plotrun-scan: the settings file \"" << o.saveSettingsPath.toStdString()
                    << "\" is the picture \"" << image.toStdString() << "\" being scanned\n";
                return kScanUsage;
            }
        if (holdsPicture(o.saveSettingsPath)) {
            err << "plotrun-scan: \"" << o.saveSettingsPath.toStdString()
                << "\" is a picture; the settings are not written over it\n";
            return kScanUsage;
        }
        if (!o.output.isEmpty() &&
            (isSameFile(o.saveSettingsPath, o.output) ||
             QFileInfo(o.saveSettingsPath).absoluteFilePath() == QFileInfo(o.output).absoluteFilePath())) {
            err << "plotrun-scan: --save-settings and -o name the same file \"" << o.output.toStdString() << "\"\n";
            return kScanUsage;
        }
        // The settings in effect for the first picture, or for the settings
        // file's own picture when none is given.
        QSize size = o.settings ? QSize(o.settings->pictureWidth, o.settings->pictureHeight) : QSize();
        if (!o.images.isEmpty())
            size = headerSize(o.images[0]);
        if (!size.isValid()) {
            err << "plotrun-scan: cannot tell the size of \"" << o.images.value(0).toStdString()
                << "\" for --save-settings\n";
            return kScanFileError;
        }
        if (!saveSettings(o, size.width(), size.height(), err))
            return kScanUsage;
        if (o.images.isEmpty())
            return kScanDone;
    }

    if (!o.outputDir.isEmpty())
        return runBatch(o, err, errIsTerminal);

    const QString& image = o.images[0];
    // Writing the output over the picture would destroy it.
    if (!o.output.isEmpty() && isSameFile(o.output, image)) {
        err << "plotrun-scan: the output file \"" << o.output.toStdString() << "\" is the picture being scanned\n";
        return kScanUsage;
    }

    PictureScan scan;
    try {
        scan = scanPicture(o, image);
    } catch (const std::exception& e) { // out of memory, above all
        err << "plotrun-scan: cannot scan \"" << image.toStdString() << "\": " << e.what() << "\n";
        return kScanFileError;
    }
    // Picture errors carry the scanner's prefix; the checks' messages and the
    // engine's notices are written as they are.
    if (scan.code == kScanFileError)
        err << "plotrun-scan: " << scan.messages;
    else
        err << scan.messages;
    if (scan.code != kScanDone)
        return scan.code;
    const std::string& text = scan.text;
    if (o.output.isEmpty()) {
        out.write(text.data(), std::streamsize(text.size()));
        out.flush();
        if (!out) {
            err << "plotrun-scan: cannot write to standard output\n";
            return kScanFileError;
        }
        return kScanDone;
    }
    const QString error = writeTextFile(o.output, text);
    if (!error.isEmpty()) {
        err << "plotrun-scan: cannot write \"" << o.output.toStdString() << "\": " << error.toStdString() << "\n";
        return kScanFileError;
    }
    return kScanDone;
}

} // namespace plotrun
