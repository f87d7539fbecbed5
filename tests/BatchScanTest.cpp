// plotrun-scan over many pictures: settings files, output folders, jobs,
// failures among good pictures, and settings carried to larger pictures.
#include "BmpFile.h"
#include "ScanCommand.h"
#include "ScannerRun.h"
#include "SettingsFile.h"
#include "WorkedExample.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <sys/stat.h>
#include <sstream>

namespace plotrun::test {
namespace {

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// A chart at `scale` times 400 x 300 pixels: axes, a grid, and the curve
// y = 50 + 30 sin(x) for x from 0 to 10, drawn antialiased. The origin is at
// bitmap (40, 30) x scale, x = 10 at bitmap x 360 x scale, y = 100 at bitmap
// y 270 x scale.
QImage chart(int scale)
{
    const int w = 400 * scale, h = 300 * scale;
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const auto at = [&](double x, double y) { return QPointF((40 + 32 * x) * scale, h - (30 + 2.4 * y) * scale); };
    p.setPen(QPen(QColor(210, 210, 210), scale));
    for (int i = 1; i <= 10; ++i)
        p.drawLine(at(i, 0), at(i, 100));
    p.setPen(QPen(Qt::black, scale));
    p.drawLine(at(0, 0), at(10, 0));
    p.drawLine(at(0, 0), at(0, 100));
    QPainterPath curve(at(0, 50));
    for (int i = 1; i <= 1000; ++i) {
        const double x = i / 100.0;
        curve.lineTo(at(x, 50 + 30 * std::sin(x)));
    }
    p.setPen(QPen(Qt::black, 2.0 * scale));
    p.drawPath(curve);
    return image;
}

class BatchScan : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString file(const QString& name) const { return dir.filePath(name); }

    // The worked example's picture, with an extra dark pixel in column
    // 60 + k so that every picture gives other numbers.
    QString picture(const QString& name, int k = -1)
    {
        const QString path = file(name);
        EXPECT_TRUE(writeFile(path, bmpBytes(640, 480, 24, [k](int x, int row) {
                                  if (k >= 0 && x == 60 + k % 3 && row == 300 + k)
                                      return 0u;
                                  return workedExamplePixel(x, row);
                              })));
        return path;
    }

    QString savedSettings()
    {
        const QString path = file("s.json");
        const ScanRun r = scanner(kWorkedExampleArgs + QStringList{"--save-settings", path, picture("first.bmp")});
        EXPECT_EQ(r.code, kScanDone) << r.err;
        return path;
    }
};

TEST_F(BatchScan, ASettingsFileGivesTheSameOutputAsTheFlags)
{
    const QString s = savedSettings();
    const ScanRun r = scanner({"--settings", s, picture("chart.bmp")});
    EXPECT_EQ(r.code, kScanDone) << r.err;
    EXPECT_EQ(r.out, kWorkedExampleText);
    EXPECT_EQ(readSettingsFile(s).pictureWidth, 640);
}

TEST_F(BatchScan, SettingsWithoutAPictureAreSavedAgainWithTheFlagsOverThem)
{
    const QString s = savedSettings();
    const QString changed = file("changed.json");
    const ScanRun r = scanner({"--settings", s, "--threshold", "200", "--save-settings", changed});
    EXPECT_EQ(r.code, kScanDone) << r.err;
    SavedSettings want = readSettingsFile(s);
    want.record.Threshold = 200;
    EXPECT_EQ(readSettingsFile(changed), want);
}

TEST_F(BatchScan, FlagsGivenAsWellOverrideTheSettingsFile)
{
    const QString s = savedSettings();
    const ScanRun r = scanner({"--settings", s, "--area", "60,50,62,200", "--fields", "bitmap", "--delimiter", ";",
                               "--name", "xb=col", picture("chart.bmp")});
    EXPECT_EQ(r.code, kScanDone) << r.err;
    EXPECT_NE(r.out.find("Scan end:;62;200\r\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\r\ncol;Y [px]\r\n60.5;140\r\n61.5;140\r\n"), std::string::npos) << r.out;
}

TEST_F(BatchScan, ABadSettingsFileIsBadUsage)
{
    ASSERT_TRUE(writeFile(file("bad.json"), "{\"format\": \"plotrun-settings\", \"version\": 7}"));
    const ScanRun r = scanner({"--settings", file("bad.json"), picture("chart.bmp")});
    EXPECT_EQ(r.code, kScanUsage);
    EXPECT_NE(r.err.find("the key \"version\" is 7"), std::string::npos) << r.err;
}

TEST_F(BatchScan, APictureOfAnotherSizeIsRefusedUnlessScaled)
{
    const QString s = savedSettings();
    const QString small = file("small.bmp");
    ASSERT_TRUE(writeFile(small, bmpBytes(320, 240, 24, [](int, int) { return 0xFFFFFFu; })));
    const ScanRun r = scanner({"--settings", s, small});
    EXPECT_EQ(r.code, kScanUsage);
    EXPECT_NE(r.err.find("320 x 240"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--scale-with-picture"), std::string::npos) << r.err;
}

TEST_F(BatchScan, ScaledSettingsOnAPictureTwiceTheSizeGiveTheSameRealValues)
{
    ASSERT_TRUE(chart(1).save(file("chart1.png")));
    ASSERT_TRUE(chart(2).save(file("chart2.bmp")));
    const QString s = file("chart.json");
    const QStringList calibration{
        "--origin",     "40,30", "--ref",       "360,270", "--real-ref",          "10,100", "--area", "42,32,359,299",
        "--scan-width", "4",     "--threshold", "100",     "--decimal-separator", "."};
    const ScanRun small = scanner(calibration + QStringList{"--save-settings", s, file("chart1.png")});
    ASSERT_EQ(small.code, kScanDone) << small.err;
    const ScanRun large = scanner({"--settings", s, "--scale-with-picture", file("chart2.bmp")});
    ASSERT_EQ(large.code, kScanDone) << large.err;

    const std::vector<Point> a = points(small.out), b = points(large.out);
    ASSERT_GT(a.size(), 70u);
    ASSERT_EQ(a.size(), b.size());
    // Half a pixel of the smaller picture, in real units.
    const double halfX = 0.5 * 10 / 320, halfY = 0.5 * 100 / 240;
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_NEAR(a[i].x, b[i].x, halfX) << i;
        EXPECT_NEAR(a[i].y, b[i].y, halfY) << i << " at x " << a[i].x;
        // And both are the drawn curve (the axis line at y 0 aside).
        if (a[i].y > 5) {
            EXPECT_NEAR(b[i].y, 50 + 30 * std::sin(b[i].x), 2 * halfY) << i;
        }
    }
}

TEST_F(BatchScan, ABrokenPictureAmongGoodOnesIsListedAndTheOthersAreWritten)
{
    const QString s = savedSettings();
    QStringList pictures{picture("a.bmp", 0), picture("b.bmp", 1), picture("c.bmp", 2)};
    const QByteArray whole = contents(pictures[1]);
    ASSERT_TRUE(writeFile(file("broken.bmp"), whole.left(whole.size() / 2)));
    pictures.insert(1, file("broken.bmp"));
    pictures << file("missing.bmp");
    const QString out = file("out");
    const ScanRun r = scanner(QStringList{"--settings", s, "-O", out, "-j", "2"} + pictures);
    EXPECT_EQ(r.code, 1);
    for (const char* name : {"a", "b", "c"}) {
        const ScanRun one = scanner({"--settings", s, file(QString(name) + ".bmp")});
        EXPECT_EQ(contents(out + "/" + name + ".txt").toStdString(), one.out) << name;
    }
    EXPECT_FALSE(QFile::exists(out + "/broken.txt"));
    EXPECT_FALSE(QFile::exists(out + "/missing.txt"));
    EXPECT_NE(r.err.find("plotrun-scan: broken.bmp: failed\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("is damaged"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("plotrun-scan: missing.bmp: failed\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("plotrun-scan: 3 of 5 pictures done, 2 failed, in "), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\r'), std::string::npos) << "no progress line when not on a terminal";
}

TEST_F(BatchScan, TwoJobsWriteTheSameFilesAsOne)
{
    const QString s = savedSettings();
    QStringList pictures;
    for (int k = 0; k < 8; ++k)
        pictures << picture(QString("strip-%1.bmp").arg(k, 3, 10, QChar('0')), k);
    const ScanRun one = scanner(QStringList{"--settings", s, "-O", file("one"), "-j", "1"} + pictures);
    const ScanRun two = scanner(QStringList{"--settings", s, "-O", file("two"), "--jobs=2"} + pictures);
    EXPECT_EQ(one.code, kScanDone) << one.err;
    EXPECT_EQ(two.code, kScanDone) << two.err;
    const QStringList written = QDir(file("one")).entryList(QDir::Files);
    EXPECT_EQ(written.size(), 8);
    EXPECT_EQ(QDir(file("two")).entryList(QDir::Files), written);
    for (const QString& name : written)
        EXPECT_EQ(contents(file("one/" + name)), contents(file("two/" + name))) << name.toStdString();
    EXPECT_NE(contents(file("one/strip-001.txt")), contents(file("one/strip-002.txt")));
}

TEST_F(BatchScan, OnATerminalAProgressLineShows)
{
    const QString s = savedSettings();
    const ScanRun r =
        scanner({"--settings", s, "-O", file("out"), "-j", "1", picture("a.bmp"), picture("b.bmp")}, true);
    EXPECT_EQ(r.code, kScanDone);
    EXPECT_NE(r.err.find("\r[1/2] a.bmp"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\r[2/2] b.bmp"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("plotrun-scan: 2 of 2 pictures done, 0 failed"), std::string::npos) << r.err;
}

// The settings file's name given by a slip as a picture's, or as the
// picture's own: the picture stays as it was.
TEST_F(BatchScan, SavedSettingsNeverReplaceAPicture)
{
    const QString s = savedSettings();
    const QString bmpPicture = picture("chart.bmp");
    const QString pngPicture = file("chart.png");
    ASSERT_TRUE(chart(1).save(pngPicture));
    const QByteArray bmpBefore = contents(bmpPicture), pngBefore = contents(pngPicture);
    const std::vector<std::pair<QStringList, std::string>> cases{
        {{"--settings", s, "--save-settings", pngPicture},
         "plotrun-scan: \"" + pngPicture.toStdString() + "\" is a picture; the settings are not written over it\n"},
        {{"--settings", s, "--save-settings", bmpPicture, bmpPicture},
         "plotrun-scan: the settings file \"" + bmpPicture.toStdString() + "\" is the picture \"" +
             bmpPicture.toStdString() + "\" being scanned\n"},
        {{"--settings", s, "--save-settings", file("x.txt"), "-o", file("x.txt"), bmpPicture},
         "plotrun-scan: --save-settings and -o name the same file \"" + file("x.txt").toStdString() + "\"\n"},
    };
    for (const auto& [args, message] : cases) {
        const ScanRun r = scanner(args);
        EXPECT_EQ(r.code, kScanUsage) << args.join(' ').toStdString();
        EXPECT_EQ(r.err, message);
    }
    EXPECT_EQ(contents(bmpPicture), bmpBefore);
    EXPECT_EQ(contents(pngPicture), pngBefore);
    EXPECT_FALSE(QFile::exists(file("x.txt")));
    // Nor does the output replace the settings file it was scanned with.
    const QByteArray settingsBefore = contents(s);
    const ScanRun over = scanner({"--settings", s, "-o", s, bmpPicture});
    EXPECT_EQ(over.code, kScanUsage);
    EXPECT_EQ(over.err, "plotrun-scan: the output file \"" + s.toStdString() + "\" is the settings file\n");
    EXPECT_EQ(contents(s), settingsBefore);
    // A picture from a pipe cannot tell its size before the scan without
    // being used up: nothing is written.
    ASSERT_EQ(mkfifo(QFile::encodeName(file("pipe")).constData(), 0600), 0);
    const ScanRun piped = scanner({"--settings", s, "--save-settings", file("p.json"), file("pipe")});
    EXPECT_EQ(piped.code, kScanUsage);
    EXPECT_NE(piped.err.find("a pipe or device cannot give"), std::string::npos) << piped.err;
    EXPECT_FALSE(QFile::exists(file("p.json")));
    // Over a settings file it writes as before.
    EXPECT_EQ(scanner({"--settings", s, "--threshold", "100", "--save-settings", s}).code, kScanDone);
    EXPECT_EQ(readSettingsFile(s).record.Threshold, 100);
}

// out/x.txt a link to ../y.bmp: x's table would replace y, a picture of the
// same batch, and out/z.txt one to the settings file.
TEST_F(BatchScan, AnOutputLinkedToAnotherInputIsNotWritten)
{
    const QString s = savedSettings();
    const QString x = picture("x.bmp", 0), y = picture("y.bmp", 1), z = picture("z.bmp", 2);
    const QByteArray yBefore = contents(y), sBefore = contents(s);
    ASSERT_TRUE(QDir().mkpath(file("out")));
    ASSERT_TRUE(QFile::link("../y.bmp", file("out/x.txt")));
    ASSERT_TRUE(QFile::link(s, file("out/z.txt")));
    const ScanRun r = scanner({"--settings", s, "-O", file("out"), "-j", "2", x, y, z});
    EXPECT_EQ(r.code, kScanFileError);
    EXPECT_EQ(contents(y), yBefore);
    EXPECT_EQ(contents(s), sBefore);
    EXPECT_NE(r.err.find("plotrun-scan: x.bmp: the output file \"" + file("out").toStdString() +
                         "/x.txt\" is the picture \"" + y.toStdString() + "\"; it is not written\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("z.bmp: the output file \"" + file("out").toStdString() + "/z.txt\" is the settings file"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(contents(file("out/y.txt")).toStdString(), scanner({"--settings", s, y}).out);
    EXPECT_NE(r.err.find("1 of 3 pictures done, 2 failed"), std::string::npos) << r.err;
}

// Names that have no base name, or no file name at all.
TEST_F(BatchScan, PicturesWithoutABaseNameAreNamedInTheirMessagesAndOutputs)
{
    const QString s = savedSettings();
    const QString hidden = picture(".bmp", 0);
    ASSERT_TRUE(QDir().mkpath(file("pics")));
    const ScanRun r = scanner({"--settings", s, "-O", file("out"), hidden, file("pics") + "/", picture("a.bmp", 1)});
    EXPECT_EQ(r.code, kScanFileError);
    EXPECT_EQ(contents(file("out/bmp.txt")).toStdString(), scanner({"--settings", s, hidden}).out);
    EXPECT_FALSE(QFile::exists(file("out/.txt")));
    const std::string folder = file("pics").toStdString() + "/";
    EXPECT_NE(r.err.find("plotrun-scan: " + folder + ": failed\nplotrun-scan: " + folder + ": \"" + folder +
                         "\" is a folder, not a picture.\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find(": : "), std::string::npos) << r.err;
}

// Following's Start mark goes with the picture's size, as the marks do: on
// a picture twice the size, the unscaled Start on the line at y = 95 lies
// nearer the sine below it.
TEST_F(BatchScan, ScaledSettingsFollowTheSameCurve)
{
    const auto withLine = [](int scale) {
        QImage image = chart(scale);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Qt::black, 2.0 * scale));
        const double y = 300 * scale - (30 + 2.4 * 95) * scale;
        p.drawLine(QPointF(40 * scale, y), QPointF(360 * scale, y));
        return image;
    };
    ASSERT_TRUE(withLine(1).save(file("two1.png")));
    ASSERT_TRUE(withLine(2).save(file("two2.png")));
    // The start on the line at x = 8: bitmap (296, 258).
    const QString s = file("two.json");
    const ScanRun small = scanner({"--origin",
                                   "40,30",
                                   "--ref",
                                   "360,270",
                                   "--real-ref",
                                   "10,100",
                                   "--area",
                                   "42,32,359,299",
                                   "--scan-width",
                                   "4",
                                   "--threshold",
                                   "100",
                                   "--decimal-separator",
                                   ".",
                                   "--follow",
                                   "--start",
                                   "296,258",
                                   "--max-jump",
                                   "5",
                                   "--save-settings",
                                   s,
                                   file("two1.png")});
    ASSERT_EQ(small.code, kScanDone) << small.err;
    const ScanRun large = scanner({"--settings", s, "--scale-with-picture", file("two2.png")});
    ASSERT_EQ(large.code, kScanDone) << large.err;
    for (const auto& [name, out] : {std::pair{"small", &small.out}, std::pair{"large", &large.out}}) {
        const std::vector<Point> pts = points(*out);
        EXPECT_GT(pts.size(), 70u) << name;
        double worst = 0;
        for (const Point& p : pts)
            worst = std::max(worst, std::fabs(p.y - 95));
        EXPECT_LT(worst, 1.0) << name << " follows the line, not the sine";
    }
}

TEST_F(BatchScan, BatchUsageErrors)
{
    const QString a = picture("a.bmp"), b = picture("b.bmp");
    ASSERT_TRUE(QDir().mkpath(file("other")));
    ASSERT_TRUE(QFile::copy(a, file("other/a.bmp")));
    const std::vector<QStringList> cases{
        kWorkedExampleArgs + QStringList{a, b},
        kWorkedExampleArgs + QStringList{"-O", file("o"), a, file("other/a.bmp")},
        kWorkedExampleArgs + QStringList{"-O", file("o"), "-o", file("x.txt"), a},
        kWorkedExampleArgs + QStringList{"-O", file("o"), "-j", "0", a},
        kWorkedExampleArgs + QStringList{"--save-settings", file("x.json")},
    };
    for (const QStringList& args : cases) {
        const ScanRun r = scanner(args);
        EXPECT_EQ(r.code, kScanUsage) << args.join(' ').toStdString();
    }
}

} // namespace
} // namespace plotrun::test
