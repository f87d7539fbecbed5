#include "ScanCommand.h"

#include "../files/PictureFile.h"
#include "../files/TextFile.h"
#include "../scan/ColumnScan.h"
#include "../scan/OptionChecks.h"
#include "../scan/Report.h"

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
settings, 3 scan aborted by the height check.
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
    const bool digits = !value.isEmpty() && std::all_of(value.begin(), value.end(), [](QChar c) { return c.isDigit(); });
    if (!ok || !digits || n < 1 || n > kMostMaxPixels)
        throw UsageError{"--max-pixels takes a whole number from 1 to " + std::to_string(kMostMaxPixels)};
    return n;
}

Options parseArguments(const QStringList& args)
{
    Options o;
    o.decimalSeparator = QLocale::system().decimalPoint().toStdString();
    // Coordinates that are not given count as empty boxes.
    o.boxes.SelSW = "1";
    o.boxes.Threshold = "128";
    static const std::map<QString, Field> nameKeys{{"x", Field::RealX},   {"y", Field::RealY},
                                                   {"sdev", Field::Sdev}, {"sdevy", Field::SdevY},
                                                   {"xb", Field::BitmapX}, {"yb", Field::BitmapY}};
    for (int i = 0; i < args.size(); ++i) {
        QString arg = args[i];
        std::optional<QString> inlineValue;
        if (arg.startsWith("--") && arg.contains('=')) {
            inlineValue = arg.mid(arg.indexOf('=') + 1);
            arg = arg.left(arg.indexOf('='));
        }
        const auto value = [&]() -> QString {
            if (inlineValue)
                return *inlineValue;
            if (i + 1 >= args.size())
                throw UsageError{arg.toStdString() + " needs a value"};
            return args[++i];
        };
        const auto flag = [&] {
            if (inlineValue)
                throw UsageError{arg.toStdString() + " takes no value"};
        };
        if (arg == "-h" || arg == "--help") {
            flag();
            o.help = true;
        } else if (arg == "--origin") {
            const auto v = splitList(value(), 2, "--origin");
            o.boxes.SelOX = v[0];
            o.boxes.SelOY = v[1];
        } else if (arg == "--ref") {
            const auto v = splitList(value(), 2, "--ref");
            o.boxes.SelX = v[0];
            o.boxes.SelY = v[1];
        } else if (arg == "--real-origin") {
            const auto v = splitList(value(), 2, "--real-origin");
            o.boxes.SelOXR = v[0];
            o.boxes.SelOYR = v[1];
        } else if (arg == "--real-ref") {
            const auto v = splitList(value(), 2, "--real-ref");
            o.boxes.SelXR = v[0];
            o.boxes.SelYR = v[1];
        } else if (arg == "--area") {
            const auto v = splitList(value(), 4, "--area");
            o.boxes.SelSX1 = v[0];
            o.boxes.SelSY1 = v[1];
            o.boxes.SelSX2 = v[2];
            o.boxes.SelSY2 = v[3];
        } else if (arg == "--scan-width") {
            o.boxes.SelSW = value().toStdString();
        } else if (arg == "--threshold") {
            o.boxes.Threshold = value().toStdString();
        } else if (arg == "--weighted-x") {
            flag();
            o.boxes.SelWt = true;
        } else if (arg == "--fields") {
            o.fields.realCoordinates = o.fields.sdev = o.fields.sdevY = o.fields.bitmapCoordinates = false;
            for (const QString& f : value().split(',')) {
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
        } else if (arg == "--header") {
            flag();
            o.fields.scanningParameters = true;
        } else if (arg == "--column-names") {
            flag();
            o.fields.columnNames = true;
        } else if (arg == "--name") {
            const QString v = value();
            const int eq = v.indexOf('=');
            const auto key = nameKeys.find(v.left(eq));
            if (eq < 0 || key == nameKeys.end())
                throw UsageError{"--name takes KEY=TEXT with KEY x, y, sdev, sdevy, xb or yb"};
            const QString text = v.mid(eq + 1);
            if (text.size() > 40)
                throw UsageError{"a column name holds at most 40 characters"};
            o.fields.names[static_cast<int>(key->second)] = text.toStdString();
        } else if (arg == "--delimiter") {
            const QString v = value();
            if (v.size() > 8)
                throw UsageError{"the delimiter holds at most 8 characters"};
            o.delimiter = v.toStdString();
        } else if (arg == "--decimal-separator") {
            const QString v = value();
            if (v.size() != 1)
                throw UsageError{"the decimal separator is one character"};
            o.decimalSeparator = v.toStdString();
        } else if (arg == "-o" || arg == "--output") {
            o.output = value();
            if (o.output.isEmpty())
                throw UsageError{"the output file name is empty"};
        } else if (arg == "--max-pixels") {
            o.maxPixels = parseMaxPixels(value());
        } else if (arg.startsWith('-') && arg.size() > 1) {
            throw UsageError{"unknown option '" + arg.toStdString() + "'"};
        } else {
            if (!o.image.isEmpty())
                throw UsageError{"only one picture can be scanned at a time"};
            o.image = arg;
        }
    }
    if (!o.fields.realCoordinates && !o.fields.sdev && !o.fields.sdevY && !o.fields.bitmapCoordinates)
        throw UsageError{"at least one output field must be selected"};
    if (!o.help && o.image.isEmpty())
        throw UsageError{"no picture given"};
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

    const std::string& sep = o.decimalSeparator;
    const GridLayout layout = layoutGrid(o.fields);
    std::vector<std::vector<std::string>> rows;
    runColumnScan(view, settings, checks, o.fields.wantsSpread(),
                  {[&](const ResultRow& r) { rows.push_back(rowCells(layout, r, sep)); }, nullptr});
    picture.image = QImage(); // the text may be large too

    std::vector<std::string> header;
    if (o.fields.scanningParameters)
        header = headerBlock({std::to_string(view.width), view.height, picture.bitsPerPixel.toStdString(),
                              o.boxes.SelWt},
                             settings, o.fields.delimiter, sep);
    const std::vector<std::string> names = headerCells(layout, o.fields);
    const std::string text = joinLines(outputLines(o.fields.scanningParameters ? &header : nullptr,
                                                   o.fields.columnNames ? &names : nullptr, rows, o.fields.delimiter));
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
