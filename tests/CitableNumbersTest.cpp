// Numbers to cite. The standard uncertainty of each point: on charts whose
// curve is known, drawn at random sub-pixel offsets and degraded as scans and
// photographs are, about 95 % of the points lie within twice their
// uncertainty, and the uncertainty is not uselessly large. And the record of
// how the numbers were made, which gives them again.
#include "ScannerRun.h"

#include "../files/PictureFile.h"
#include "../files/Provenance.h"
#include "../files/SettingsFile.h"
#include "ColumnScan.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

namespace plotrun::test {
namespace {

double curve(double x) { return 0.5 + 0.3 * std::sin(0.6 * x) + 0.02 * x; }

// A chart of real x 0 to 10 and real y 0 to 1, its axes at random
// sub-pixel positions and scales, marked where a user clicks: to the
// nearest pixel. Mild: light noise and a good JPEG; poor: heavy noise and a
// JPEG of quality 25 to 50.
struct DegradedChart {
    QImage picture;
    ScanSettings settings;
};

DegradedChart degradedChart(std::mt19937& rng, bool poor, bool logY)
{
    std::uniform_real_distribution<double> unit(0, 1);
    const int width = 800, height = 600;
    const double ox = 80 + unit(rng), oy = 540 + unit(rng), sx = 64 + 2 * unit(rng), sy = 480 + 2 * unit(rng);
    // On a logarithmic y axis the same picture reads from 1 to 10.
    QImage picture(width, height, QImage::Format_RGB32);
    picture.fill(Qt::white);
    {
        QPainter p(&picture);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Qt::black, 1.5));
        p.drawRect(QRectF(ox, oy - sy, 10 * sx, sy));
        QPainterPath path;
        for (int i = 0; i <= 1000; ++i) {
            const QPointF at(ox + i / 100.0 * sx, oy - curve(i / 100.0) * sy);
            i ? path.lineTo(at) : path.moveTo(at);
        }
        p.setPen(QPen(Qt::black, 1.5 + unit(rng)));
        p.drawPath(path);
    }
    std::normal_distribution<double> noise(0, poor ? 25 : 4);
    for (int y = 0; y < height; ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int g = std::clamp(qRed(row[x]) + int(std::lround(noise(rng))), 0, 255);
            row[x] = qRgb(g, g, g);
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "JPEG", poor ? 25 + int(25 * unit(rng)) : 90);
    DegradedChart c{QImage::fromData(bytes, "JPEG").convertToFormat(QImage::Format_RGB32), {}};
    // A pixel's centre is half a pixel into it: painter x and y map to
    // bitmap x - 0.5 and height - y + 0.5.
    ScanSettings& s = c.settings;
    s.OriginX = std::round(ox - 0.5);
    s.OriginY = std::round(height - oy + 0.5);
    s.RefX = std::round(ox + 10 * sx - 0.5);
    s.RefY = std::round(height - (oy - sy) + 0.5);
    s.RealRefX = 10;
    s.LogY = logY;
    s.RealOriginY = logY ? 1 : 0;
    s.RealRefY = logY ? 10 : 1;
    s.HasRealRefX = s.HasRealRefY = true;
    s.ScanStartX = s.OriginX + 4;
    s.ScanEndX = s.RefX - 4;
    s.ScanStartY = s.OriginY + 4;
    s.ScanEndY = s.RefY - 4;
    s.ScanWidth = 3;
    s.Threshold = 128;
    return c;
}

TEST(Uncertainty, AboutNineteenPointsInTwentyLieWithinTwiceTheirUncertainty)
{
    std::mt19937 rng(20261208);
    std::vector<double> errors, uncertainties;
    int within = 0, pictures = 0;
    for (int i = 0; i < 24; ++i, ++pictures) {
        const bool logY = i % 6 == 5;
        const DegradedChart c = degradedChart(rng, i % 2 == 1, logY);
        const QImage pixels = toScanPixels(c.picture);
        ScanSettings s = c.settings;
        const ScanChecks checks = checkScan(s);
        runColumnScan(pixelView(pixels), s, checks, false,
                      {[&](const ResultRow& r) {
                           const double truth = logY ? std::pow(10.0, curve(r.realX)) : curve(r.realX);
                           const double error = std::fabs(r.realY - truth);
                           errors.push_back(error);
                           uncertainties.push_back(r.uy);
                           within += error <= 2 * r.uy;
                           EXPECT_GT(r.ux, 0);
                       },
                       nullptr, nullptr, kMostThreadsPerPicture, nullptr, true});
    }
    ASSERT_GE(errors.size(), 2000u);
    EXPECT_GE(pictures, 20);
    const double share = double(within) / double(errors.size());
    EXPECT_GE(share, 0.90);
    EXPECT_LE(share, 0.995);
    // A uselessly large u cannot pass: a Gaussian error with u = sigma has
    // a median u of about 1.5 times its median error.
    const auto median = [](std::vector<double> v) {
        std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
        return v[v.size() / 2];
    };
    const double ratio = median(uncertainties) / median(errors);
    EXPECT_LE(ratio, 4.0);
    RecordProperty("share_within_2u", std::to_string(share));
    RecordProperty("median_u_over_median_error", std::to_string(ratio));
    std::printf("within 2u: %.4f, median u / median error: %.2f, points: %zu\n", share, ratio, errors.size());
}

// The marks, the real references and the area of a chart as flags.
QStringList markFlags(const ScanSettings& s)
{
    return {"--origin",   QString("%1,%2").arg(s.OriginX).arg(s.OriginY),
            "--ref",      QString("%1,%2").arg(s.RefX).arg(s.RefY),
            "--real-ref", "10,1",
            "--area",     QString("%1,%2,%3,%4").arg(s.ScanStartX).arg(s.ScanStartY).arg(s.ScanEndX).arg(s.ScanEndY)};
}

TEST(Uncertainty, TheScannerWritesTheColumnsAndEachContributionInTheHeader)
{
    QTemporaryDir dir;
    std::mt19937 rng(3);
    const DegradedChart c = degradedChart(rng, false, false);
    const QString picture = dir.filePath("chart.png");
    ASSERT_TRUE(c.picture.save(picture));
    const ScanSettings& s = c.settings;
    const QStringList flags = markFlags(s) + QStringList{"--scan-width", "3", "--decimal-separator", ".", picture};
    const ScanRun plain = scanner(flags);
    ScanRun with =
        scanner(QStringList{"--fields", "real,uy,ux", "--header", "--column-names", "--name", "uy=dY"} + flags);
    ASSERT_EQ(with.code, kScanDone) << with.err;
    std::erase(with.out, '\r');
    EXPECT_NE(with.out.find("\nU [px]:,marks,0.288675134594813,pixel grid,0.288675134594813,scatter (median),"),
              std::string::npos)
        << with.out;
    EXPECT_NE(with.out.find("\nX,Y,U(X),dY\n"), std::string::npos);
    // The points themselves are the same with the uncertainties or without.
    std::string points;
    for (size_t at = with.out.find("\nX,Y,U(X),dY\n") + 13; at < with.out.size();) {
        const size_t end = with.out.find('\n', at);
        const std::string line = with.out.substr(at, end - at);
        const size_t second = line.find(',', line.find(',') + 1);
        points += line.substr(0, second) + "\r\n";
        at = end + 1;
    }
    EXPECT_EQ(points, plain.out);
}

// The text without its line that starts with `label`.
std::string withoutLine(std::string text, const std::string& label)
{
    const size_t at = text.find("\n" + label);
    if (at != std::string::npos)
        text.erase(at + 1, text.find('\n', at + 1) - at);
    return text;
}

TEST(Provenance, TheRecordMakesASettingsFileThatGivesTheSameOutput)
{
    QTemporaryDir dir;
    std::mt19937 rng(5);
    const DegradedChart c = degradedChart(rng, true, false);
    const QString picture = dir.filePath("chart.png");
    ASSERT_TRUE(c.picture.save(picture));
    const ScanSettings& s = c.settings;
    const QStringList flags = markFlags(s) + QStringList{"--follow",     "--delimiter", ";", "--decimal-separator", ".",
                                                         "--fields",     "real,uy",
                                                         "--provenance", // shows the block without --header
                                                         picture};
    const ScanRun first = scanner(flags);
    ASSERT_EQ(first.code, kScanDone) << first.err;
    EXPECT_NE(first.out.find("Picture SHA-256:;" + fileDigest(picture).sha256 + "\r\n"), std::string::npos);
    const QString file = dir.filePath("again.json");
    ASSERT_EQ(writeSettingsFile(file, settingsFromProvenance(first.out, ";")), "");
    const ScanRun again = scanner({"--settings", file, picture});
    ASSERT_EQ(again.code, kScanDone) << again.err;
    EXPECT_EQ(withoutLine(again.out, "Scanned (UTC):"), withoutLine(first.out, "Scanned (UTC):"));
    EXPECT_THROW(settingsFromProvenance("X;Y\r\n1;2\r\n", ";"), SettingsFileError);
}

TEST(Provenance, SettingsUsedOnAnotherPictureSaySoOnceAndChangeNothing)
{
    QTemporaryDir dir;
    std::mt19937 rng(9);
    const QString a = dir.filePath("a.png"), b = dir.filePath("b.png");
    const DegradedChart c = degradedChart(rng, false, false);
    ASSERT_TRUE(c.picture.save(a));
    ASSERT_TRUE(degradedChart(rng, false, false).picture.save(b));
    const ScanSettings& s = c.settings;
    const QStringList flags = markFlags(s);
    const QString settings = dir.filePath("a.json");
    // Without provenance no hash is kept, and the file is as it always was.
    ASSERT_EQ(scanner(flags + QStringList{"--save-settings", settings, a}).code, kScanDone);
    EXPECT_EQ(readSettingsFile(settings).pictureSha256, "");
    ASSERT_EQ(scanner(flags + QStringList{"--provenance", "--save-settings", settings, a}).code, kScanDone);
    EXPECT_EQ(readSettingsFile(settings).pictureSha256, fileDigest(a).sha256);
    EXPECT_EQ(scanner({"--settings", settings, a}).err, "");
    const ScanRun other = scanner({"--settings", settings, b});
    EXPECT_EQ(other.err, "The picture \"b.png\" is not the one that the settings were saved with: its SHA-256 "
                         "differs.\n");
    EXPECT_EQ(withoutLine(other.out, "Scanned (UTC):"),
              withoutLine(scanner(flags + QStringList{"--provenance", b}).out, "Scanned (UTC):"));
    // A batch uses one settings file for many pictures, quietly.
    const ScanRun batch = scanner({"--settings", settings, "-O", dir.filePath("out"), a, b});
    EXPECT_EQ(batch.code, kScanDone);
    EXPECT_EQ(batch.err.find("SHA-256"), std::string::npos) << batch.err;
}

} // namespace
} // namespace plotrun::test
