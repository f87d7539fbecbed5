#include "ScanCommand.h"

#include "../files/PictureFile.h"
#include "../files/TextFile.h"
#include "../scan/ColumnScan.h"
#include "../scan/InkModel.h"
#include "../scan/OptionChecks.h"
#include "../scan/ScanReport.h"

#include <QLocale>

#include <algorithm>
#include <map>
#include <optional>

namespace plotrun {

namespace {

constexpr const char* kUsage = R"(Usage: plotrun-scan [options] IMAGE
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
  --fields LIST           comma list of real, sdev, sdevy, bitmap (default real)
  --header                include the block of scanning parameters
  --column-names          include the column-names line
  --name KEY=TEXT         column name; KEY is x, y, sdev, sdevy, xb or yb; repeatable
  --delimiter TEXT        default: the start delimiter rule, from the decimal separator
  --decimal-separator C   default: the user's locale
  -o, --output FILE       write there instead of standard output
  --max-pixels N          refuse pictures that claim more pixels (default 1000000000)
  -h, --help

Bitmap coordinates count pixels from the left edge and upward from the
bottom edge. Numbers in options always use ".".
An output file is replaced only once the output is wholly written; a pipe
or device is written into. The output cannot be the picture itself.
Exit codes: 0 done, 1 picture or output file error, 2 bad usage or refused
settings, 3 scan aborted by the height check, 4 a result beyond the range of
real numbers (nothing written).
)";

struct UsageError {
    std::string text;
};

struct Options {
    OptionBoxes boxes;
    OutputFields fields;
    std::optional<std::string> delimiter;
    std::string decimalSeparator;
    QString image;
    QString output;
    qint64 maxPixels = kDefaultMaxPixels;
    bool help = false;
    bool inkCompanions = false; // --paper or --ink-tolerance given
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
}

void setDelimiter(Options& o, const QString& value)
{
    if (value.size() > 8)
        throw UsageError{"the delimiter holds at most 8 characters"};
    // A line break in the delimiter would split every data line in two.
    if (value.contains('\r') || value.contains('\n'))
        throw UsageError{"the delimiter cannot hold a line break"};
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
    o.decimalSeparator = value.toStdString();
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

struct Flag {
    const char* name;
    bool takesValue;
    void (*apply)(Options&, const QString& value);
};

// Every option of the scanner; -h and -o are the short forms.
const Flag kFlags[] = {
    {"-h", false, [](Options& o, const QString&) { o.help = true; }},
    {"--help", false, [](Options& o, const QString&) { o.help = true; }},
    {"--origin", true,
     [](Options& o, const QString& v) {
         const auto p = splitList(v, 2, "--origin");
         o.boxes.SelOX = p[0];
         o.boxes.SelOY = p[1];
     }},
    {"--ref", true,
     [](Options& o, const QString& v) {
         const auto p = splitList(v, 2, "--ref");
         o.boxes.SelX = p[0];
         o.boxes.SelY = p[1];
     }},
    {"--real-origin", true,
     [](Options& o, const QString& v) {
         const auto p = splitList(v, 2, "--real-origin");
         o.boxes.SelOXR = p[0];
         o.boxes.SelOYR = p[1];
     }},
    {"--real-ref", true,
     [](Options& o, const QString& v) {
         const auto p = splitList(v, 2, "--real-ref");
         o.boxes.SelXR = p[0];
         o.boxes.SelYR = p[1];
     }},
    {"--area", true,
     [](Options& o, const QString& v) {
         const auto p = splitList(v, 4, "--area");
         o.boxes.SelSX1 = p[0];
         o.boxes.SelSY1 = p[1];
         o.boxes.SelSX2 = p[2];
         o.boxes.SelSY2 = p[3];
     }},
    {"--scan-width", true, [](Options& o, const QString& v) { o.boxes.SelSW = v.toStdString(); }},
    {"--threshold", true, [](Options& o, const QString& v) { o.boxes.Threshold = v.toStdString(); }},
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
         o.inkCompanions = true;
     }},
    {"--ink-tolerance", true,
     [](Options& o, const QString& v) {
         o.boxes.SelInkTol = v.toStdString();
         o.inkCompanions = true;
     }},
    {"--fields", true, setFields},
    {"--header", false, [](Options& o, const QString&) { o.fields.scanningParameters = true; }},
    {"--column-names", false, [](Options& o, const QString&) { o.fields.columnNames = true; }},
    {"--name", true, setColumnName},
    {"--delimiter", true, setDelimiter},
    {"--decimal-separator", true, setDecimalSeparator},
    {"-o", true, setOutput},
    {"--output", true, setOutput},
    {"--max-pixels", true, [](Options& o, const QString& v) { o.maxPixels = parseMaxPixels(v); }},
};

const Flag* findFlag(const QString& name)
{
    for (const Flag& f : kFlags)
        if (name == QLatin1String(f.name))
            return &f;
    return nullptr;
}

Options parseArguments(const QStringList& args)
{
    Options o;
    o.decimalSeparator = QLocale::system().decimalPoint().toStdString();
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
            if (!o.image.isEmpty())
                throw UsageError{"only one picture can be scanned at a time"};
            o.image = arg;
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
    if (o.inkCompanions && !o.boxes.InkCheckBox)
        throw UsageError{"--paper and --ink-tolerance go with --ink"};
    if (!o.help && o.image.isEmpty())
        throw UsageError{"no picture given"};
    if (o.delimiter == o.decimalSeparator)
        throw UsageError{"the decimal separator cannot be the same as the delimiter"};
    o.fields.delimiter = o.delimiter.value_or(startDelimiter(o.decimalSeparator));
    return o;
}

} // namespace

int runScanCommand(const QStringList& args, std::ostream& out, std::ostream& err)
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

    // Writing the output over the picture would destroy it.
    if (!o.output.isEmpty() && isSameFile(o.output, o.image)) {
        err << "plotrun-scan: the output file \"" << o.output.toStdString() << "\" is the picture being scanned\n";
        return kScanUsage;
    }

    Picture picture;
    try {
        picture = loadPicture(o.image, o.maxPixels);
    } catch (const PixelLimitError& e) {
        err << "plotrun-scan: " << e.what() << " Raise the limit with --max-pixels N.\n";
        return kScanFileError;
    } catch (const PictureError& e) {
        err << "plotrun-scan: " << e.what() << "\n";
        return kScanFileError;
    }
    const PixelView view = pixelView(picture.image);
    if (view.width < 2 || view.height < 2) {
        err << "plotrun-scan: The size of the bitmap must be at least 2x2\n";
        return kScanFileError;
    }

    // The same checks as the options dialog's OK, over the same texts.
    const OptionVerdict verdict = checkOptions(o.boxes, ScanSettings{}, view.width, view.height, ".");
    if (!verdict.inputValid) {
        err << verdict.messages;
        return kScanUsage;
    }
    ScanSettings settings = verdict.record;

    const ScanChecks checks = checkScan(settings);
    if (checks.widthResized)
        err << widthResizedNotice(checks.areaWidth).text << "\n";
    if (checks.stop != ScanStop::None) {
        err << stopNotice(checks.stop).text;
        return kScanAborted;
    }

    ScanReport report(o.fields, o.decimalSeparator);
    runColumnScan(view, settings, checks, o.fields.wantsSpread(),
                  {[&](const ResultRow& r) { report.addRow(r); }, nullptr});
    picture.image = QImage(); // the text may be large too
    if (report.hasNonFinite()) {
        err << notFiniteNotice(report.firstNonFiniteRow()).text;
        return kScanNotFinite;
    }
    const std::string text = report.text(
        {std::to_string(view.width), view.height, picture.bitsPerPixel.toStdString(), o.boxes.SelWt}, settings);
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
