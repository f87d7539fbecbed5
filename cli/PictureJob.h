#pragma once
// One picture's job: its settings judged, its pixels scanned, its output
// text made; and the settings in effect written to a file.

#include "ScanCommand.h"
#include "ScanFlags.h"

#include "../scan/Report.h"
#include "../scan/ScanTypes.h"
#include "../scan/Threads.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace plotrun {

// What one picture gave: the exit code of a one-picture run, the output
// text when it was done, and the messages in the order they arose.
struct PictureScan {
    int code = kScanDone;
    std::string text;
    std::string messages;
};

// The name a picture goes by in messages: its file name, or the path as
// given when that ends in a slash.
QString pictureName(const QString& path);

// What one picture may take while others run beside it.
struct PictureShare {
    qint64 memory = -1; // in bytes; -1: what is free
    int threads = kMostThreadsPerPicture;
};

PictureScan scanPicture(const Options& o, const QString& image, PictureShare share = {});

// The settings a file would hold for a record used on a picture of width x
// height, with the output options the flags and the settings file gave.
SavedSettings savedSettings(const Options& o, const ScanSettings& record, int32_t width, int32_t height);

// The same scan for a front end that takes the rows as they are (the Python
// module): each row goes to `onRow`, and the output text is not made.
using RowSink = std::function<void(const ResultRow&)>;
struct ViewScan {
    int code = kScanDone;
    std::string messages;
    // When done: the settings the scan ran with, after any width resize, and
    // what the header block says about the picture.
    ScanSettings settings;
    PictureFacts picture;
};
ViewScan scanPictureRows(const Options& o, const QString& image, const RowSink& onRow, PictureShare share = {});
// Pixels that are already in memory, named `name` in the messages; the
// colour depth is then unknown ("-").
ViewScan scanView(const Options& o, const PixelView& view, const QString& name, const RowSink& onRow,
                  int threads = kMostThreadsPerPicture);

// The series that Find Series proposes on a picture, with its settings
// judged as its scan judges them; when none can be found, the exit code and
// the messages of a one-picture run.
struct FoundSeries {
    int code = kScanDone;
    std::string messages;
    std::vector<SeriesSettings> series;
};
FoundSeries findSeriesOnPicture(const Options& o, const QString& image);

// Writes the settings in effect for a picture of width x height; false, with
// the messages written, when the checks refuse them.
bool saveSettings(const Options& o, int32_t width, int32_t height, std::ostream& err);

} // namespace plotrun
