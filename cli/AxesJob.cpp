#include "AxesJob.h"

#include "PictureJob.h"
#include "ScanCommand.h"

#include "../files/LabelReader.h"
#include "../files/PageFile.h"
#include "../scan/AxisFinder.h"
#include "../scan/NumberText.h"

namespace plotrun {

namespace {

void misreads(const FoundAxis& axis, const char* name, std::ostream& err)
{
    for (const FoundTick& t : axis.ticks)
        if (t.misread)
            err << "plotrun-scan: the " << name << " label read as \"" << t.text << "\" at " << formatReal(t.x, ".")
                << "," << formatReal(t.y, ".") << " is misread: the fit puts its value "
                << formatReal(std::round(std::fabs(t.residual) * 10) / 10, ".") << " pixels away\n";
}

} // namespace

AxesJob findOnPicture(const Options& o, std::ostream& err)
{
    AxesJob job;
    const QString& image = o.images[0];
    Picture picture;
    try {
        picture = pageFormat(image) != PageFormat::None ? loadPage(image, o.page.page, o.page.dpi, o.maxPixels)
                                                        : loadPicture(image, o.maxPixels);
    } catch (const PixelLimitError& e) {
        err << "plotrun-scan: " << e.what() << " Raise the limit with --max-pixels N.\n";
        job.code = kScanFileError;
        return job;
    } catch (const PictureError& e) {
        err << "plotrun-scan: " << e.what() << "\n";
        job.code = kScanFileError;
        return job;
    }
    const PixelView view = pixelView(picture);
    const bool axes = o.findAxes != Options::FindAxes::Off;
    LabelReader reader;
    if (axes && !reader.ready()) {
        err << "plotrun-scan: " << reader.problem() << "\n";
        job.code = kScanFileError;
        return job;
    }
    const FoundAxes found = findAxes(view, axes ? reader.reading() : LabelReading());
    const QString name = pictureName(image);
    if (!found.linesFound || (axes && !found.sure())) {
        err << "plotrun-scan: cannot read the axes of \"" << name.toStdString()
            << "\" with confidence: " << found.doubt() << "\n";
        misreads(found.x, "x", err);
        misreads(found.y, "y", err);
        job.code = kScanUsage;
        return job;
    }
    std::vector<std::string> flags;
    if (axes)
        flags = calibrationFlags(found, view.height);
    // Over a settings file of another kind, the kind that the flags are of.
    if (axes && !found.turned && o.settings && !o.settings->record.Calibration.aligned())
        flags.insert(flags.begin(), {"--calibration", "axes"});
    // A scan needs an area: without one given, the one that --find-area finds.
    const bool noArea = !givenFlag(o, "--area") && !o.settings;
    if (o.findArea || (o.findAxes == Options::FindAxes::Scan && noArea)) {
        const std::vector<std::string> area = areaFlags(found);
        flags.insert(flags.end(), area.begin(), area.end());
    }
    std::string line;
    for (const std::string& f : flags) {
        line += (line.empty() ? "" : " ") + f;
        job.flags << QString::fromStdString(f);
    }
    err << line << "\n";
    misreads(found.x, "x", err);
    misreads(found.y, "y", err);
    job.scan = o.findAxes != Options::FindAxes::Print;
    return job;
}

} // namespace plotrun
