#pragma once
// The scanner's flags: those of the option table (scan/ScanOptions.h), each
// read by its kind, and the scanner's own; and the usage text, made from both.

#include "../files/PictureFile.h"
#include "../files/SettingsFile.h"
#include "../scan/OptionChecks.h"
#include "../scan/ScanOptions.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace plotrun {

struct UsageError {
    std::string text;
};

struct Options {
    // The option table's flags as given, in their order, with their values;
    // over a settings file, only these change what it holds.
    std::vector<std::pair<const ScanOption*, QString>> given;
    // The output fields, the decimal separator and the clipboard choice in
    // effect: the settings file's or the start values, with the flags over
    // them.
    OutputFields fields;
    std::string decimalSeparator;
    bool copyToClipboard = true;
    PageChoice page; // the page of PDF and SVG files, and its resolution
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
    // Find Axes: off, find and scan, or only print what was found.
    enum class FindAxes { Off, Scan, Print };
    FindAxes findAxes = FindAxes::Off;
    bool findArea = false;
    bool findSeries = false; // scan with the series that Find Series proposes
};

// Reads the arguments, and the settings file they name; throws UsageError.
Options parseArguments(const QStringList& args);

std::string usageText();

// The options of a scan with these settings and no flags: what the Python
// module scans with. Throws UsageError as parseArguments does.
Options optionsFromSettings(SavedSettings settings, bool scaleWithPicture = false);

// The options dialog's boxes with what the flags gave over them; `boxes`
// holds the start values, or the settings file's.
OptionBoxes boxesWithFlags(const Options& o, OptionBoxes boxes);

// The calibration kind and the reference points that flags gave, over the
// record's.
void applyCalibrationFlags(const Options& o, ScanSettings& record);

// The series that --series flags gave, named, in place of the record's.
void applySeriesFlags(const Options& o, ScanSettings& record);

// Whether a flag of the option table was given.
bool givenFlag(const Options& o, const char* flag);

// The numbers that a flag of a Point row gave (the last one given), if any.
std::optional<std::pair<double, double>> givenPoint(const Options& o, const ScanOption& row);

} // namespace plotrun
