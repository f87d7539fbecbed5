#include "PictureJob.h"

#include "ScanCommand.h"

#include "../files/BmpRows.h"
#include "../files/PageFile.h"
#include "../files/Provenance.h"
#include "../scan/ChartScan.h"
#include "../scan/ColumnScan.h"
#include "../scan/CurveFollow.h"
#include "../scan/MarkSnap.h"
#include "../scan/ScanFindings.h"
#include "../scan/ScanReport.h"
#include "../scan/Series.h"

#include <QFileInfo>

#include <algorithm>
#include <optional>

namespace plotrun {

namespace {

// The settings for one picture of width x height: the settings file's
// record (scaled when asked), with the boxes that flags gave over it, judged
// by the options checks.
struct PictureSettings {
    OptionBoxes boxes;
    OptionVerdict verdict;
    std::string refusal; // a picture of another size than the settings'
};

// A series' Start far from the area would only pick the edge strip's run,
// as following's would.
std::string seriesStartRefusal(const ScanSettings& r)
{
    const auto within = [](double v, double a, double b) { return v >= std::min(a, b) && v <= std::max(a, b); };
    for (const SeriesSettings& s : r.Series)
        if (s.StartX >= 0 && s.StartY >= 0 &&
            (!within(s.StartX, r.ScanStartX, r.ScanEndX) || !within(s.StartY, r.ScanStartY, r.ScanEndY)))
            return QString("The series \"%1\" starts at %2,%3, outside the scan area %4,%5,%6,%7.\n")
                .arg(QString::fromStdString(s.Name))
                .arg(s.StartX)
                .arg(s.StartY)
                .arg(r.ScanStartX)
                .arg(r.ScanStartY)
                .arg(r.ScanEndX)
                .arg(r.ScanEndY)
                .toStdString();
    return {};
}

PictureSettings settingsFor(const Options& o, int32_t width, int32_t height, const QString& name)
{
    PictureSettings p;
    OptionValues saved; // the file's, scaled with the picture
    if (o.settings) {
        const SavedSettings& s = *o.settings;
        saved.record = s.record;
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
            saved.record = scaledToPicture(s, width, height);
        }
    }
    p.boxes = boxesWithFlags(o, o.settings ? exactBoxes(saved.record) : OptionBoxes{});
    // The same checks as the options dialog's OK, over the same texts.
    p.verdict = checkOptions(p.boxes, ScanSettings{}, width, height, ".");
    // The points that no box holds (following's Start): the settings file's,
    // with what the flags gave over them.
    OptionValues judged{p.verdict.record};
    for (const ScanOption& row : scanOptions()) {
        if (row.kind != OptionKind::Point)
            continue;
        // A number that a box holds too (X1's x is RefX) is the box's.
        if (o.settings)
            for (int i = 0; i < numberCount(row); ++i)
                if (!row.controls[i].text)
                    row.number(judged, i) = numberIn(row, saved, i);
        const auto point = givenPoint(o, row);
        if (!point)
            continue;
        // A number that a box holds too was judged there, with the rest.
        const auto [x, y] = *point;
        if (!row.controls[0].text)
            row.number(judged, 0) = x;
        if (!row.controls[1].text)
            row.number(judged, 1) = y;
        if (!row.goesWith[0] || std::string_view(row.goesWith[0]) != "--follow")
            continue;
        // A Start far from the area would only pick the edge strip's run.
        const ScanSettings& r = judged.record;
        const auto within = [](double v, double a, double b) { return v >= std::min(a, b) && v <= std::max(a, b); };
        if (p.verdict.inputValid && (!within(x, r.ScanStartX, r.ScanEndX) || !within(y, r.ScanStartY, r.ScanEndY)))
            p.refusal = QString("%1 %2,%3 lies outside the scan area %4,%5,%6,%7.\n")
                            .arg(QString::fromLatin1(row.flag))
                            .arg(x)
                            .arg(y)
                            .arg(r.ScanStartX)
                            .arg(r.ScanStartY)
                            .arg(r.ScanEndX)
                            .arg(r.ScanEndY)
                            .toStdString();
    }
    // The calibration kind and the reference points: the file's, with the
    // flags' over them; then whether the marks can fix the map at all.
    CalibrationSettings& c = judged.record.Calibration;
    c.Kind = saved.record.Calibration.Kind;
    c.Points = saved.record.Calibration.Points;
    applyCalibrationFlags(o, judged.record);
    if (p.verdict.inputValid && p.refusal.empty())
        p.refusal = calibrationRefusal(judged.record);
    // The series: the file's, or the flags' in their place.
    judged.record.Series = saved.record.Series;
    applySeriesFlags(o, judged.record);
    if (p.verdict.inputValid && p.refusal.empty())
        p.refusal = seriesStartRefusal(judged.record);
    p.verdict.record = judged.record;
    return p;
}

} // namespace

SavedSettings savedSettings(const Options& o, const ScanSettings& record, int32_t width, int32_t height)
{
    SavedSettings s;
    s.record = record;
    s.pictureWidth = width;
    s.pictureHeight = height;
    s.fields = o.fields;
    s.decimalSeparator = o.decimalSeparator;
    s.copyToClipboard = o.copyToClipboard;
    s.page = o.page;
    return s;
}

QString pictureName(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    return name.isEmpty() ? path : name;
}

namespace {

std::string cannotRead(const QString& name, const BmpReadError& e)
{
    return QString("Cannot read picture \"%1\": %2\n").arg(name, e.what()).toStdString();
}

// The settings of a view as its scan runs with them, once judged: the
// refusals, the engine's checks and notices, as a one-picture run reports
// them into `out`. Empty when the scan cannot run.
std::optional<std::pair<ScanSettings, ScanChecks>> settingsToScan(const PixelView& view, const PictureSettings& judged,
                                                                  ViewScan& out)
{
    if (!judged.refusal.empty()) {
        out.messages = judged.refusal;
        out.code = kScanUsage;
        return std::nullopt;
    }
    if (!judged.verdict.inputValid) {
        out.messages = judged.verdict.messages;
        out.code = kScanUsage;
        return std::nullopt;
    }
    ScanSettings settings = judged.verdict.record;
    if (settings.Calibration.Snap)
        snapMarks(view, settings);

    const ScanChecks checks = checkScan(settings);
    if (checks.widthResized)
        out.messages += widthResizedNotice(checks.areaWidth).text + "\n";
    if (checks.stop != ScanStop::None) {
        out.messages += stopNotice(checks.stop).text;
        out.code = kScanAborted;
        return std::nullopt;
    }
    return std::pair{settings, checks};
}

// Find Series over the view into `settings`; false, with the message in
// `out`, when the rows cannot be read or no series is found.
bool findSeriesIn(const PixelView& view, const QString& name, const std::string& delimiter, ScanSettings& settings,
                  ViewScan& out)
{
    try {
        // Rows read while they are looked at: the file may change under them.
        settings.Series = findSeries(view, settings);
    } catch (const BmpReadError& e) {
        out.messages += cannotRead(name, e);
        out.code = kScanFileError;
        return false;
    }
    if (settings.Series.empty()) {
        out.messages += "Find Series found no curve or markers of one colour in the scan area.\n";
        out.code = kScanUsage;
        return false;
    }
    // Named for the delimiter in effect, as the window names them.
    for (size_t i = 0; i < settings.Series.size(); ++i)
        settings.Series[i].Name = automaticSeriesName(i + 1, delimiter);
    return true;
}

// The scan of a view whose settings are judged: the refusals, the engine's
// checks and notices, and a result that is not finite, as a one-picture run
// reports them.
ViewScan scanJudged(const Options& o, const PixelView& view, const QString& name, const PictureSettings& judged,
                    const RowSink& onRow, int threads)
{
    ViewScan out;
    auto ready = settingsToScan(view, judged, out);
    if (!ready)
        return out;
    ScanSettings& settings = ready->first;
    const ScanChecks& checks = ready->second;

    // Each picture of a batch finds its own series.
    if (o.findSeries) {
        if (!findSeriesIn(view, name, o.fields.delimiter, settings, out))
            return out;
        for (const SeriesSettings& s : settings.Series)
            out.messages += "--series '" + seriesSpecText(s) + "'\n";
    }

    const GridLayout layout = layoutGrid(o.fields);
    int32_t rowCount = 0, firstNonFinite = 0;
    std::string advice; // what the scan saw, when it spoils the points
    std::vector<int64_t> rowsOfEach(settings.Series.size(), 0);
    try {
        runColumnScan(view, settings, checks, o.fields.wantsSpread(),
                      {[&](const ResultRow& r) {
                           ++rowCount;
                           if (r.series >= 0 && size_t(r.series) < rowsOfEach.size())
                               ++rowsOfEach[size_t(r.series)];
                           if (firstNonFinite == 0 && !rowIsFinite(layout, r))
                               firstNonFinite = r.number != 0 ? r.number : rowCount;
                           onRow(r);
                       },
                       nullptr,
                       [&](const FollowCounts& c) {
                           // Each series' counts, named.
                           if (c.series >= 0 && size_t(c.series) < settings.Series.size())
                               out.messages += settings.Series[size_t(c.series)].Name + ": ";
                           out.messages += followCountsText(c) + "\n";
                       },
                       threads,
                       [&](const ScanFindings& f) {
                           // One sentence for each series that needs one.
                           const std::string said = scanAdvice(f, settings, AdviceFor::Scanner);
                           if (!said.empty())
                               advice += (advice.empty() ? "" : "\n") + said;
                       },
                       o.fields.wantsUncertainty()});
    } catch (const BmpReadError& e) {
        // Rows read while they are scanned: the file changed under the scan.
        out.messages += cannotRead(name, e);
        out.code = kScanFileError;
        return out;
    }
    if (firstNonFinite != 0) {
        out.messages += notFiniteNotice(firstNonFinite).text;
        out.code = kScanNotFinite;
        return out;
    }
    // A series without points is told, though the scan of the others is done.
    if (const std::string empty = seriesWithoutRows(settings.Series, rowsOfEach); !empty.empty())
        out.messages += empty + "\n";
    if (!advice.empty())
        out.messages += advice + "\n";
    out.settings = settings;
    out.picture = {std::to_string(view.width), view.height, "-", judged.boxes.SelWt};
    return out;
}

bool tooSmall(const PixelView& view, ViewScan& out)
{
    if (view.width >= 2 && view.height >= 2)
        return false;
    out.messages = "The size of the bitmap must be at least 2x2\n";
    out.code = kScanFileError;
    return true;
}

} // namespace

ViewScan scanView(const Options& o, const PixelView& view, const QString& name, const RowSink& onRow, int threads)
{
    ViewScan out;
    if (tooSmall(view, out))
        return out;
    return scanJudged(o, view, name, settingsFor(o, view.width, view.height, name), onRow, threads);
}

namespace {

// A picture read for its scan, and its settings judged.
struct JudgedPicture {
    Picture picture;
    PictureSettings judged;
};

// Reads the picture, only the rows that its scan reads where it can; none,
// with the message in `out`, when it cannot be read.
std::optional<JudgedPicture> readJudged(const Options& o, const QString& image, PictureShare share, ViewScan& out)
{
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
        // Snapped marks turn a chart's map, and its area with it.
        if (settings.Calibration.Snap && !settings.Calibration.aligned())
            return {0, height};
        if (settings.Calibration.Snap) {
            // Also the rows around the marks, and room for the area to move
            // with them.
            const RowSpan marks = rowsReadBySnap(height, settings);
            const int32_t room = 2 * kSnapRadius;
            return {std::max(0, std::min(span.first - room, marks.first)),
                    std::min(height, std::max(span.end + room, marks.end))};
        }
        return {span.first, span.end};
    };
    JudgedPicture read;
    try {
        // A PDF or SVG page is rendered whole; its settings are judged after.
        if (pageFormat(image) != PageFormat::None)
            read.picture = loadPage(image, o.page.page, o.page.dpi, o.maxPixels, share.memory);
        else
            read.picture = loadPicture(image, o.maxPixels, rows, share.memory, share.threads);
    } catch (const PixelLimitError& e) {
        out.messages = std::string(e.what()) + " Raise the limit with --max-pixels N.\n";
        out.code = kScanFileError;
        return std::nullopt;
    } catch (const PictureError& e) {
        out.messages = std::string(e.what()) + "\n";
        out.code = kScanFileError;
        return std::nullopt;
    }
    const PixelView view = pixelView(read.picture);
    if (tooSmall(view, out))
        return std::nullopt;
    read.judged = judged ? *judged : settingsFor(o, view.width, view.height, name);
    return read;
}

} // namespace

ViewScan scanPictureRows(const Options& o, const QString& image, const RowSink& onRow, PictureShare share)
{
    ViewScan out;
    const std::optional<JudgedPicture> read = readJudged(o, image, share, out);
    if (!read)
        return out;
    out = scanJudged(o, pixelView(read->picture), pictureName(image), read->judged, onRow, share.threads);
    out.picture.bitsPerPixelText = read->picture.bitsPerPixel.toStdString();
    return out;
}

FoundSeries findSeriesOnPicture(const Options& o, const QString& image)
{
    ViewScan out;
    FoundSeries found;
    if (const std::optional<JudgedPicture> read = readJudged(o, image, {}, out)) {
        const PixelView view = pixelView(read->picture);
        if (auto ready = settingsToScan(view, read->judged, out)) {
            // The scan that follows tells its notices; only a failure is told here.
            out.messages.clear();
            if (findSeriesIn(view, pictureName(image), o.fields.delimiter, ready->first, out))
                found.series = ready->first.Series;
        }
    }
    found.code = out.code;
    found.messages = out.messages;
    return found;
}

PictureScan scanPicture(const Options& o, const QString& image, PictureShare share)
{
    // Settings used on another picture than they were saved with: said
    // once, where one picture is scanned with them as they are.
    const bool samePictureExpected =
        o.settings && !o.settings->pictureSha256.empty() && !o.scaleWithPicture && o.outputDir.isEmpty();
    const FileDigest digest = o.fields.provenance || samePictureExpected ? fileDigest(image) : FileDigest{};
    const std::string otherPicture =
        samePictureExpected ? otherPictureWarning(*o.settings, digest, pictureName(image)) : std::string();

    ScanReport report(o.fields, o.decimalSeparator, ScanReport::Keep::TextOnly);
    const ViewScan v = scanPictureRows(
        o, image, [&](const ResultRow& r) { report.addRow(r); }, share);
    // Said only of a picture that was scanned: a damaged one has its own
    // message.
    PictureScan out{v.code, {}, (v.code == kScanDone ? otherPicture : std::string()) + v.messages};
    if (v.code != kScanDone)
        return out;
    if (o.fields.provenance)
        report.setProvenance(provenanceLines(
            digest, savedSettings(o, v.settings, int32_t(std::stoll(v.picture.widthText)), int32_t(v.picture.height)),
            QDateTime::currentDateTimeUtc()));
    out.text = report.text(v.picture, v.settings);
    return out;
}

bool saveSettings(const Options& o, int32_t width, int32_t height, std::ostream& err)
{
    const PictureSettings p = settingsFor(o, width, height, pictureName(o.images.value(0)));
    if (!p.refusal.empty() || !p.verdict.inputValid) {
        err << (p.refusal.empty() ? p.verdict.messages : p.refusal);
        return false;
    }
    SavedSettings s = savedSettings(o, p.verdict.record, width, height);
    // With provenance on, the picture they were made on, so that using them
    // on another says so; saved again without a picture, the one the file
    // names.
    if (o.fields.provenance && !o.images.isEmpty())
        s.pictureSha256 = fileDigest(o.images.value(0)).sha256;
    else if (o.settings)
        s.pictureSha256 = o.settings->pictureSha256;
    const QString error = writeSettingsFile(o.saveSettingsPath, s);
    if (!error.isEmpty()) {
        err << "plotrun-scan: cannot write \"" << o.saveSettingsPath.toStdString() << "\": " << error.toStdString()
            << "\n";
        return false;
    }
    return true;
}

} // namespace plotrun
