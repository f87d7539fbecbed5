#include "ScanCommand.h"

#include "AxesJob.h"
#include "BatchRun.h"
#include "PictureJob.h"
#include "ScanFlags.h"

#include "../files/PageFile.h"
#include "../files/TextFile.h"
#include "../scan/Series.h"

#include <QFileInfo>
#include <QImageReader>

namespace plotrun {

namespace {

// The size of a picture as its header tells it, for --save-settings; an
// invalid size when it cannot be told. A PDF or SVG file that cannot be
// opened, or lacks the page, throws PictureError.
QSize headerSize(const QString& path, const PageChoice& page)
{
    // A PDF or SVG page is as large as it is rendered.
    if (pageFormat(path) != PageFormat::None) {
        const PageFile file(path);
        return file.pixels(file.servedPage(page.page), page.dpi);
    }
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
        out << usageText();
        return kScanDone;
    }
    if (o.findAxes != Options::FindAxes::Off || o.findArea) {
        // What was found is given as flags, so that the scan is the one that
        // those flags, printed for a script to keep, would give.
        const AxesJob job = findOnPicture(o, err);
        if (!job.scan)
            return job.code;
        QStringList rest;
        for (const QString& a : args)
            if (a != "--find-area" && a != "--find-axes" && !a.startsWith("--find-axes="))
                rest << a;
        return runScanCommand(rest + job.flags, out, err, errIsTerminal);
    }
    if (o.findSeries && o.outputDir.isEmpty() && QFileInfo(o.images[0]).isFile()) {
        // So are the series found, before anything is saved or scanned. A
        // batch's pictures, and a picture that a pipe gives, which cannot be
        // read twice, find theirs as they are scanned.
        const FoundSeries found = findSeriesOnPicture(o, o.images[0]);
        err << (found.code == kScanFileError ? "plotrun-scan: " : "") << found.messages;
        if (found.code != kScanDone)
            return found.code;
        QStringList rest;
        for (const QString& a : args)
            if (a != "--find-series")
                rest << a;
        for (const SeriesSettings& s : found.series) {
            const std::string spec = seriesSpecText(s);
            err << "--series '" << spec << "'\n";
            rest << "--series" << QString::fromStdString(spec);
        }
        return runScanCommand(rest, out, err, errIsTerminal);
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
        // Its header is read before the scan: a pipe would be used up by it.
        if (!o.images.isEmpty() && !QFileInfo(o.images[0]).isFile()) {
            err << "plotrun-scan: --save-settings needs the size of \"" << o.images[0].toStdString()
                << "\" before the scan, which a pipe or device cannot give; name a picture file\n";
            return kScanUsage;
        }
        try {
            if (!o.images.isEmpty())
                size = headerSize(o.images[0], o.page);
        } catch (const PictureError& e) {
            err << "plotrun-scan: " << e.what() << "\n";
            return kScanFileError;
        }
        if (!size.isValid()) {
            err << "plotrun-scan: cannot tell the size of \"" << o.images.value(0).toStdString()
                << "\" for --save-settings\n";
            return kScanFileError;
        }
        Options saved = o;
        if (o.findSeries) {
            // A batch's pictures find their own series; the file keeps the
            // first picture's, as it keeps its size.
            const FoundSeries found = findSeriesOnPicture(o, o.images[0]);
            if (found.code != kScanDone) {
                err << (found.code == kScanFileError ? "plotrun-scan: " : "") << found.messages;
                return found.code;
            }
            for (const SeriesSettings& s : found.series)
                saved.given.emplace_back(optionByFlag("--series"), QString::fromStdString(seriesSpecText(s)));
        }
        if (!saveSettings(saved, size.width(), size.height(), err))
            return kScanUsage;
        if (o.images.isEmpty())
            return kScanDone;
    }

    if (!o.outputDir.isEmpty())
        return runBatch(o, err, errIsTerminal);

    const QString& image = o.images[0];
    // Writing the output over the picture would destroy it, and over the
    // settings file, the settings.
    if (!o.output.isEmpty() && isSameFile(o.output, image)) {
        err << "plotrun-scan: the output file \"" << o.output.toStdString() << "\" is the picture being scanned\n";
        return kScanUsage;
    }
    if (!o.output.isEmpty() && !o.settingsPath.isEmpty() && isSameFile(o.output, o.settingsPath)) {
        err << "plotrun-scan: the output file \"" << o.output.toStdString() << "\" is the settings file\n";
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