// plotrun-scan end to end, in process: pictures written as files, the
// output text and the exit code compared.
#include "BmpFile.h"
#include "FileSizeLimit.h"
#include "ScanCommand.h"
#include "ScannerRun.h"
#include "WorkedExample.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace plotrun::test {
namespace {

class ScanCommand : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString file(const QString& name) const { return dir.filePath(name); }
    QString bmp(const QString& name, int bpp, const std::vector<uint32_t>& palette = {})
    {
        const QString path = file(name);
        EXPECT_TRUE(writeFile(path, bmpBytes(640, 480, bpp, workedExamplePixel, palette)));
        return path;
    }
};

TEST_F(ScanCommand, WritesTheWorkedExampleExactly)
{
    const ScanRun r = scanner(kWorkedExampleArgs + QStringList{bmp("chart.bmp", 24)});
    EXPECT_EQ(r.code, kScanDone) << r.err;
    EXPECT_EQ(r.out, kWorkedExampleText);
    EXPECT_EQ(r.err, "");
}

TEST_F(ScanCommand, EveryBmpDepthGivesTheSameNumbers)
{
    const std::vector<uint32_t> blackWhite{0x000000, 0xFFFFFF};
    const std::vector<std::pair<int, std::string>> depths{{1, "1"}, {4, "4"}, {8, "8"}, {16, "15"}, {32, "32"}};
    for (const auto& [bpp, declared] : depths) {
        const QString path = bmp(QString("chart%1.bmp").arg(bpp), bpp, bpp <= 8 ? blackWhite : std::vector<uint32_t>{});
        const ScanRun r = scanner(kWorkedExampleArgs + QStringList{path});
        ASSERT_EQ(r.code, kScanDone) << bpp << " bits: " << r.err;
        std::string want = kWorkedExampleText;
        want.replace(want.find("Bits per pixel: ,24"), 19, "Bits per pixel: ," + declared);
        EXPECT_EQ(r.out, want) << bpp << " bits";
    }
}

TEST_F(ScanCommand, APaletteColourIsReadThroughItsEntry)
{
    // Index 0 is white and index 1 a grey of darkness 127: with threshold 127
    // it is dark, with 128 not.
    const std::vector<uint32_t> palette{0xFFFFFF, 0x808080};
    const auto grey = [](int x, int row) { return (x == 3 && row == 2) ? 0x808080u : 0xFFFFFFu; };
    const QString path = file("grey.bmp");
    ASSERT_TRUE(writeFile(path, bmpBytes(8, 8, 4, grey, palette)));
    const QStringList args{"--origin", "0,0",     "--ref",    "8,8",    "--real-ref",          "8,8",
                           "--area",   "0,0,8,8", "--fields", "bitmap", "--decimal-separator", "."};
    ScanRun r = scanner(args + QStringList{"--threshold", "127", path});
    EXPECT_EQ(r.out, "3.5,6\r\n");
    r = scanner(args + QStringList{"--threshold", "128", path});
    EXPECT_EQ(r.code, kScanDone);
    EXPECT_EQ(r.out, "");
}

TEST_F(ScanCommand, ReadsOtherFormatsAndTheirDeclaredDepth)
{
    QImage png(640, 480, QImage::Format_RGB32);
    for (int row = 0; row < 480; ++row)
        for (int x = 0; x < 640; ++x)
            png.setPixel(x, row, workedExamplePixel(x, row));
    ASSERT_TRUE(png.save(file("chart.png")));
    const ScanRun r = scanner(kWorkedExampleArgs + QStringList{file("chart.png")});
    EXPECT_EQ(r.code, kScanDone) << r.err;
    EXPECT_NE(r.out.find("Bits per pixel: ,24\r\n"), std::string::npos);
    EXPECT_NE(r.out.find("0.525,50,0\r\n"), std::string::npos);
}

TEST_F(ScanCommand, A24BitBmpReadAsItIsScannedGivesWhatQtsDecoderGives)
{
    // A chart with a grid, a frame, label blocks and two anti-aliased curves; an
    // odd width, so that its BMP rows carry padding.
    QImage chart(731, 419, QImage::Format_RGB32);
    chart.fill(Qt::white);
    {
        QPainter p(&chart);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QColor(200, 200, 200));
        for (int x = 40; x < 731; x += 60)
            p.drawLine(x, 10, x, 400);
        p.setPen(Qt::black);
        p.drawRect(40, 10, 680, 390);
        for (int x = 40; x < 731; x += 60) // ticks and blocks where labels go
            p.fillRect(x - 6, 403, 12, 9, QColor(60, 60, 60));
        QPainterPath sine, cosine;
        for (int x = 40; x <= 720; ++x) {
            const double t = (x - 40) / 680.0 * 6.283;
            const QPointF a(x, 205 - 150 * std::sin(2 * t)), b(x, 205 - 120 * std::cos(t));
            x == 40 ? sine.moveTo(a) : sine.lineTo(a);
            x == 40 ? cosine.moveTo(b) : cosine.lineTo(b);
        }
        p.setPen(QPen(QColor(20, 40, 200), 2.5));
        p.drawPath(sine);
        p.setPen(QPen(QColor(210, 30, 30), 1.5));
        p.drawPath(cosine);
    }
    ASSERT_TRUE(chart.save(file("chart.png")));
    const QByteArray bmp =
        bmpBytes(731, 419, 24, [&](int x, int row) { return uint32_t(chart.pixel(x, row)) & 0xFFFFFF; });
    ASSERT_TRUE(writeFile(file("chart.bmp"), bmp));
    ASSERT_TRUE(writeFile(file("down.bmp"), topDown(bmp, 731, 419, 24)));

    const QStringList calibration{"--origin",
                                  "40,19",
                                  "--ref",
                                  "720,409",
                                  "--real-ref",
                                  "10,1",
                                  "--fields",
                                  "real,sdev,sdevy,bitmap",
                                  "--column-names",
                                  "--decimal-separator",
                                  "."};
    const std::vector<QStringList> settings{
        {"--area", "0,0,731,419"},
        {"--area", "45,100,700,300", "--scan-width", "3", "--weighted-x"},
        {"--area", "41,11,719,409", "--ink", "20,40,200", "--ink-tolerance", "60", "--threshold", "20"},
        {"--area", "41,11,719,409", "--follow", "--remove-lines"},
        {"--area", "0,0,731,419", "--threshold", "1", "--scan-width", "7"},
    };
    for (const QStringList& s : settings) {
        const ScanRun want = scanner(calibration + s + QStringList{file("chart.png")});
        ASSERT_EQ(want.code, kScanDone) << want.err;
        ASSERT_GT(points(want.out).size(), size_t(20)) << s.join(' ').toStdString();
        for (const QString name : {"chart.bmp", "down.bmp"}) {
            const ScanRun got = scanner(calibration + s + QStringList{file(name)});
            EXPECT_EQ(got.code, kScanDone) << got.err;
            EXPECT_EQ(got.out, want.out) << name.toStdString() << " " << s.join(' ').toStdString();
            EXPECT_EQ(got.err, want.err);
        }
    }
}

TEST_F(ScanCommand, UsesTheDecimalSeparatorAndItsStartDelimiter)
{
    const ScanRun r = scanner({"--origin", "50,40", "--ref", "250,240", "--real-ref", "10,100", "--area",
                               "60,50,63,200", "--decimal-separator", ",", bmp("chart.bmp", 24)});
    EXPECT_EQ(r.out, "0,525;50\r\n0,575;50\r\n0,625;50\r\n");
    const ScanRun tab =
        scanner({"--origin", "50.9,40", "--ref", "250,240", "--real-ref", "10,100", "--area", "60,50,61,200",
                 "--decimal-separator", ";", "--name", "x=t", "--column-names", file("chart.bmp")});
    EXPECT_EQ(tab.out, "t\tY\r\n0;525\t50\r\n");
}

TEST_F(ScanCommand, RefusedSettingsListEveryMessageAndExitTwo)
{
    const ScanRun r = scanner({bmp("chart.bmp", 24)});
    EXPECT_EQ(r.code, kScanUsage);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Invalid X start scan value\nInvalid X end scan value\nInvalid Y start scan value\n"
                     "Invalid Y end scan value\nOrigin X is not a valid number\nOrigin Y is not a valid number\n"
                     "Reference X is not a valid number\nReference Y is not a valid number\n"
                     "Real reference X is not a valid number\nReal reference Y is not a valid number\n");
    const ScanRun wide = scanner({"--origin", "0,0", "--ref", "640,480", "--real-ref", "1,1", "--area", "0,0,50,10",
                                  "--scan-width", "60", file("chart.bmp")});
    EXPECT_EQ(wide.code, kScanUsage);
    EXPECT_EQ(wide.err, "Scan width must between 1 and 50.\n");
}

TEST_F(ScanCommand, ACalibrationBeyondTheDoubleRangeIsRefused)
{
    const ScanRun r = scanner(
        {"--origin", "0,0", "--ref", "1,240", "--real-ref", "1e308,1", "--area", "0,0,640,480", bmp("chart.bmp", 24)});
    EXPECT_EQ(r.code, kScanUsage);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Real X of the picture's edges is out of range\n");
}

TEST_F(ScanCommand, LogarithmicAxesAreNamedInTheHeaderAndMapDecades)
{
    // Y: 1 at the origin (y 40), 100 at Y1 (y 240); bitmap y 140 is 10.
    QStringList args = kWorkedExampleArgs;
    args << "--real-origin"
         << "0,1"
         << "--log-y" << bmp("chart.bmp", 24);
    const ScanRun r = scanner(args);
    ASSERT_EQ(r.code, kScanDone) << r.err;
    EXPECT_NE(r.out.find("Real origin:,0,1\r\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Scan end:,63,200\r\nY axis:,logarithmic\r\n\r\nX,Y,SDEV\r\n0.525,10,0\r\n"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(r.out.find("X axis:"), std::string::npos);

    // Both: x from 1 at the origin to 10 at X1, half way is sqrt(10).
    args = kWorkedExampleArgs;
    args << "--real-origin"
         << "1,1"
         << "--log-x"
         << "--log-y" << file("chart.bmp");
    const ScanRun both = scanner(args);
    ASSERT_EQ(both.code, kScanDone) << both.err;
    EXPECT_NE(both.out.find("X axis:,logarithmic\r\nY axis:,logarithmic\r\n\r\n"), std::string::npos) << both.out;
}

TEST_F(ScanCommand, ALogarithmicAxisRefusesRealValuesOfZeroOrBelow)
{
    // The real origin is 0 unless given.
    const ScanRun r = scanner(kWorkedExampleArgs + QStringList{"--log-x", bmp("chart.bmp", 24)});
    EXPECT_EQ(r.code, kScanUsage);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Real origin X must be greater than 0 on a logarithmic axis\n");
    const ScanRun ref = scanner(kWorkedExampleArgs + QStringList{"--real-origin", "1,1", "--real-ref", "-2,100",
                                                                 "--log-y", "--log-x", file("chart.bmp")});
    EXPECT_EQ(ref.code, kScanUsage);
    EXPECT_EQ(ref.err, "Real reference X must be greater than 0 on a logarithmic axis\n");
}

TEST_F(ScanCommand, WithoutTheLogFlagsTheOutputIsAsBefore)
{
    const ScanRun r = scanner(kWorkedExampleArgs + QStringList{bmp("chart.bmp", 24)});
    EXPECT_EQ(r.out, kWorkedExampleText);
    EXPECT_EQ(r.out.find("axis:"), std::string::npos);
}

TEST_F(ScanCommand, ASmoothingRadiusOfZeroIsTheScanAsBefore)
{
    const ScanRun r = scanner(kWorkedExampleArgs + QStringList{"--smooth", "0", bmp("chart.bmp", 24)});
    EXPECT_EQ(r.code, kScanDone) << r.err;
    EXPECT_EQ(r.out, kWorkedExampleText);
    // Smoothed, the three black pixels of the row thin out to the middle
    // one, the only one with more black than white around it; alike from a
    // BMP read while it is scanned and from a PNG that holds only the rows
    // the scan reads.
    QImage png(640, 480, QImage::Format_RGB32);
    for (int row = 0; row < 480; ++row)
        for (int x = 0; x < 640; ++x)
            png.setPixel(x, row, workedExamplePixel(x, row));
    ASSERT_TRUE(png.save(file("chart.png")));
    for (const QString& picture : {file("chart.bmp"), file("chart.png")}) {
        const ScanRun smoothed = scanner(kWorkedExampleArgs + QStringList{"--smooth", "1", picture});
        ASSERT_EQ(smoothed.code, kScanDone) << smoothed.err;
        EXPECT_NE(smoothed.out.find("Threshold:,128\r\nSmoothing radius:,1\r\nWeighted Y points\r\n"),
                  std::string::npos)
            << smoothed.out;
        EXPECT_EQ(smoothed.out.substr(smoothed.out.find("X,Y,SDEV")), "X,Y,SDEV\r\n0.575,50,0\r\n");
    }
}

TEST_F(ScanCommand, AResultThatIsNotFiniteWritesNothingAndExitsFour)
{
    // 1E300 units a pixel: the points are finite, their spread is not.
    const QString chart = file("tall.bmp");
    ASSERT_TRUE(writeFile(chart, bmpBytes(640, 480, 24, [](int x, int row) {
                              return x == 10 && (row == 100 || row == 300) ? 0u : 0xFFFFFFu;
                          })));
    const QStringList args{"--origin", "0,0", "--ref", "1,1", "--real-ref", "1e300,1e300", "--area", "10,1,11,480"};
    const ScanRun finite = scanner(args + QStringList{"--decimal-separator", ".", chart});
    EXPECT_EQ(finite.code, kScanDone) << finite.err;
    EXPECT_EQ(finite.out, "1.05E301,2.8E302\r\n");

    const QString out = file("out.txt");
    const ScanRun r = scanner(args + QStringList{"--fields", "real,sdev", "-o", out, chart});
    EXPECT_EQ(r.code, kScanNotFinite);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "The scan gives a number beyond the range of real numbers, first in row 1.\n"
                     "Check the real coordinates of the references.\n");
    EXPECT_FALSE(QFile::exists(out));
    const ScanRun toStdout = scanner(args + QStringList{"--fields", "sdev", chart});
    EXPECT_EQ(toStdout.code, kScanNotFinite);
    EXPECT_EQ(toStdout.out, "");
}

TEST_F(ScanCommand, BadUsageExitsTwo)
{
    const QString path = bmp("chart.bmp", 24);
    for (const QStringList& args :
         {QStringList{}, QStringList{"--bogus", path}, QStringList{"--fields", "x", path},
          QStringList{"--origin", "1", path}, QStringList{"--name", "q=1", path},
          QStringList{"--delimiter", "123456789", path}, QStringList{path, path}, QStringList{"--threshold"}}) {
        const ScanRun r = scanner(args);
        EXPECT_EQ(r.code, kScanUsage) << args.join(' ').toStdString();
        EXPECT_NE(r.err.find("plotrun-scan: "), std::string::npos);
    }
    const ScanRun help = scanner({"--help"});
    EXPECT_EQ(help.code, kScanDone);
    EXPECT_NE(help.out.find("--real-origin X,Y"), std::string::npos);
}

TEST_F(ScanCommand, RefusesSeparatorsThatWouldMakeTheOutputUnreadable)
{
    const QString path = bmp("chart.bmp", 24);
    const QStringList settings{"--origin",   "50,40",  "--ref",  "250,240",
                               "--real-ref", "10,100", "--area", "60,50,63,200"};
    const std::string badSeparator = "plotrun-scan: the decimal separator cannot be a digit, a sign, E or e\n";
    const std::string control = "plotrun-scan: the decimal separator cannot be a control character\n";
    const std::string delimiter = std::string("plotrun-scan: ") + kInvalidDelimiterText + "\n";
    const std::vector<std::pair<QStringList, std::string>> cases{
        {{"--decimal-separator", "5"}, badSeparator},
        {{"--decimal-separator", "0"}, badSeparator},
        {{"--decimal-separator", "+"}, badSeparator},
        {{"--decimal-separator=-"}, badSeparator},
        {{"--decimal-separator", "E"}, badSeparator},
        {{"--decimal-separator", "e"}, badSeparator},
        {{"--decimal-separator", "\t"}, control},
        {{"--decimal-separator", QString(QChar(0x7F))}, control},
        {{"--delimiter", "\n"}, delimiter},
        {{"--delimiter", "a\r\nb"}, delimiter},
        {{"--delimiter", ";\r"}, delimiter},
        {{"--decimal-separator", ",", "--delimiter", ","}, delimiter},
        {{"--delimiter", ";", "--decimal-separator", ";"}, delimiter},
        // Each of these runs the numbers of a line into other numbers.
        {{"--decimal-separator", ",", "--delimiter", ", "}, delimiter},
        {{"--delimiter", ""}, delimiter},
        {{"--delimiter=1"}, delimiter},
        {{"--delimiter", "-"}, delimiter},
        {{"--delimiter", " + "}, delimiter},
        {{"--delimiter", "E"}, delimiter},
        {{"--delimiter", "e"}, delimiter},
        {{"--decimal-separator", "d", "--delimiter", "abcd"}, delimiter},
    };
    for (const auto& [options, message] : cases) {
        const ScanRun r = scanner(settings + options + QStringList{path});
        const std::string name = options.join(' ').toStdString();
        EXPECT_EQ(r.code, kScanUsage) << name;
        EXPECT_EQ(r.out, "") << name;
        EXPECT_EQ(r.err, message + "Try 'plotrun-scan --help'.\n") << name;
    }
    // Neighbours of the refused ones still pass.
    for (const QStringList& options : {QStringList{"--decimal-separator", ",", "--delimiter", "; "},
                                       QStringList{"--decimal-separator", "'", "--delimiter", "\t"},
                                       QStringList{"--decimal-separator", "d", "--delimiter", " | "}}) {
        const ScanRun r = scanner(settings + options + QStringList{path});
        EXPECT_EQ(r.code, kScanDone) << options.join(' ').toStdString() << r.err;
    }
}

TEST_F(ScanCommand, EveryOptionTakesItsValueInlineOrNext)
{
    const QString path = bmp("chart.bmp", 24);
    const ScanRun apart = scanner(kWorkedExampleArgs + QStringList{path});
    const ScanRun inlined =
        scanner({"--origin=50,40", "--ref=250,240", "--real-ref=10,100", "--area=60,50,63,200", "--fields=real,sdev",
                 "--header", "--column-names", "--decimal-separator=.", path});
    EXPECT_EQ(inlined.code, kScanDone) << inlined.err;
    EXPECT_EQ(inlined.out, apart.out);
    EXPECT_EQ(scanner({"--header=yes", path}).err,
              "plotrun-scan: --header takes no value\nTry 'plotrun-scan --help'.\n");
    EXPECT_EQ(scanner({path, "-o"}).err, "plotrun-scan: -o needs a value\nTry 'plotrun-scan --help'.\n");
}

TEST_F(ScanCommand, BrokenPicturesExitOneWithAMessage)
{
    const QByteArray good = bmpBytes(64, 64, 24, [](int, int) { return 0u; });
    QByteArray huge = good;
    huge[18] = char(0x80); // width 2,000,000 and height 2,000,000
    huge[19] = char(0x84);
    huge[20] = char(0x1E);
    huge[22] = char(0x80);
    huge[23] = char(0x84);
    huge[24] = char(0x1E);
    QByteArray negative = good;
    negative[18] = negative[19] = negative[20] = negative[21] = char(0xFF);
    const std::vector<std::pair<QString, QByteArray>> files{
        {"empty.bmp", QByteArray()},        {"text.bmp", QByteArray("this is not a picture at all")},
        {"header-only.bmp", good.left(30)}, {"huge.bmp", huge},
        {"negative.bmp", negative},         {"tiny.bmp", bmpBytes(1, 5, 24, [](int, int) { return 0u; })},
    };
    for (const auto& [name, bytes] : files) {
        ASSERT_TRUE(writeFile(file(name), bytes));
        const ScanRun r =
            scanner({"--origin", "0,0", "--ref", "1,1", "--real-ref", "1,1", "--area", "0,0,1,1", file(name)});
        EXPECT_EQ(r.code, kScanFileError) << name.toStdString() << ": " << r.err;
        EXPECT_EQ(r.out, "") << name.toStdString();
        EXPECT_NE(r.err.find("plotrun-scan: "), std::string::npos) << name.toStdString();
    }
    EXPECT_EQ(scanner({file("missing.bmp")}).code, kScanFileError);
}

// What is wrong with a picture reaches standard error with the picture's
// name: a PNG cut short made libpng write a line of its own, "libpng error:
// Read Error", among a batch's messages.
TEST_F(ScanCommand, AReadersComplaintIsToldWithThePicturesName)
{
    QImage image(64, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            image.setPixel(x, y, qRgb(x * 4, y * 4, (x * y) % 256));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(image.save(&buffer, "PNG"));
    ASSERT_TRUE(writeFile(file("cut.png"), png.left(png.size() / 2)));
    ASSERT_TRUE(writeFile(file("good.png"), png));

    static QStringList stray;
    stray.clear();
    const QtMessageHandler old =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& t) { stray << t; });
    const ScanRun r = scanner({"--origin", "0,0", "--ref", "10,10", "--real-ref", "1,1", "--area", "0,0,10,10", "-O",
                               file("out"), file("cut.png"), file("good.png")});
    qInstallMessageHandler(old);
    EXPECT_EQ(r.code, kScanFileError);
    EXPECT_TRUE(stray.isEmpty()) << stray.join('\n').toStdString();
    EXPECT_NE(r.err.find("plotrun-scan: cut.png: failed\nplotrun-scan: cut.png: The picture file \"cut.png\" is "
                         "damaged: it ends before its last chunk.\n"),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(QFile::exists(file("out/good.txt")));
}

TEST_F(ScanCommand, ATruncatedBmpIsRefusedAsDamaged)
{
    const QByteArray good = bmpBytes(64, 64, 24, [](int x, int) { return x % 2 ? 0u : 0xFFFFFFu; });
    for (int keep : {54, 55, 200, 1000, int(good.size()) - 1}) {
        ASSERT_TRUE(writeFile(file("cut.bmp"), good.left(keep)));
        const ScanRun r =
            scanner({"--origin", "0,0", "--ref", "64,64", "--real-ref", "1,1", "--area", "0,0,64,64", file("cut.bmp")});
        EXPECT_EQ(r.code, kScanFileError) << keep;
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(ScanCommand, WritesTheOutputFileWholeOrNotAtAll)
{
    const QString out = file("out.txt");
    ASSERT_TRUE(writeFile(out, "old contents"));
    ScanRun r = scanner(kWorkedExampleArgs + QStringList{"-o", out, bmp("chart.bmp", 24)});
    EXPECT_EQ(r.code, kScanDone);
    EXPECT_EQ(r.out, "");
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().toStdString(), kWorkedExampleText);

    r = scanner(kWorkedExampleArgs + QStringList{"--output", file("no/such/folder/out.txt"), file("chart.bmp")});
    EXPECT_EQ(r.code, kScanFileError);
    EXPECT_NE(r.err.find("cannot write"), std::string::npos);
    EXPECT_FALSE(QFile::exists(file("no/such/folder/out.txt")));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).filter("out.txt").size(), 1);
}

TEST_F(ScanCommand, AWriteCutShortKeepsTheOldOutputFile)
{
    const QString out = file("kept.txt");
    ASSERT_TRUE(writeFile(out, "old contents"));
    const QString chart = bmp("chart.bmp", 24);
    ScanRun r;
    {
        const FileSizeLimit limit(100);
        ASSERT_TRUE(limit.active());
        r = scanner(kWorkedExampleArgs + QStringList{"-o", out, chart});
    }
    EXPECT_EQ(r.code, kScanFileError);
    EXPECT_NE(r.err.find("cannot write"), std::string::npos);
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("old contents"));
}

TEST_F(ScanCommand, AnOutputThatIsThePictureIsRefused)
{
    const QString chart = bmp("chart.bmp", 24);
    QFile original(chart);
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    const QByteArray bytes = original.readAll();
    ASSERT_TRUE(QFile::link(chart, file("link.bmp")));
    for (const QString& output : {chart, file("link.bmp"), dir.path() + "/./chart.bmp"}) {
        const ScanRun r = scanner(kWorkedExampleArgs + QStringList{"-o", output, chart});
        EXPECT_EQ(r.code, kScanUsage) << output.toStdString();
        EXPECT_NE(r.err.find("is the picture being scanned"), std::string::npos) << r.err;
        QFile after(chart);
        ASSERT_TRUE(after.open(QIODevice::ReadOnly));
        EXPECT_EQ(after.readAll(), bytes);
    }
    // And it is still the picture it was: the same scan gives the same text.
    const ScanRun again = scanner(kWorkedExampleArgs + QStringList{chart});
    EXPECT_EQ(again.code, kScanDone);
    EXPECT_EQ(again.out, kWorkedExampleText);
}

TEST_F(ScanCommand, AnOutputPipeGetsTheTextAndStaysAPipe)
{
    const QString fifo = file("out-pipe");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QByteArray received;
    std::thread reader([&] {
        QFile f(fifo);
        if (f.open(QIODevice::ReadOnly))
            received = f.readAll();
    });
    const ScanRun r = scanner(kWorkedExampleArgs + QStringList{"-o", fifo, bmp("chart.bmp", 24)});
    reader.join();
    EXPECT_EQ(r.code, kScanDone) << r.err;
    EXPECT_EQ(received.toStdString(), kWorkedExampleText);
    struct stat st {};
    ASSERT_EQ(stat(QFile::encodeName(fifo).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(ScanCommand, MaxPixelsRefusesALargerPictureBeforeDecoding)
{
    // A GIF whose header claims 16000 x 16000 pixels.
    static const char kGif[] = "GIF89a\x80\x3E\x80\x3E\x00\x00\x00"
                               "\x2C\x00\x00\x00\x00\x80\x3E\x80\x3E\x00\x02\x02\x44\x01\x00\x3B";
    const QByteArray gif(kGif, sizeof kGif - 1);
    ASSERT_TRUE(writeFile(file("huge.gif"), gif));
    const ScanRun r = scanner({"--max-pixels", "1000000", "--origin", "0,0", "--ref", "1,1", "--real-ref", "1,1",
                               "--area", "0,0,1,1", file("huge.gif")});
    EXPECT_EQ(r.code, kScanFileError);
    EXPECT_NE(r.err.find("16000 x 16000"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--max-pixels"), std::string::npos) << r.err;

    for (const char* bad : {"0", "-5", "abc", "1e9", "", "+5", "2000000000000000000"}) {
        const ScanRun u = scanner({"--max-pixels", bad, bmp("chart.bmp", 24)});
        EXPECT_EQ(u.code, kScanUsage) << bad;
        EXPECT_NE(u.err.find("--max-pixels"), std::string::npos) << bad;
    }
}

TEST_F(ScanCommand, AnyPixelLimitAboveThePictureGivesTheOldOutput)
{
    const QString chart = bmp("chart.bmp", 24);
    const ScanRun plain = scanner(kWorkedExampleArgs + QStringList{chart});
    for (const char* limit : {"307200", "1000000000", "1152921504606846976"}) {
        const ScanRun r = scanner(kWorkedExampleArgs + QStringList{"--max-pixels", limit, chart});
        EXPECT_EQ(r.code, kScanDone) << limit;
        EXPECT_EQ(r.out, plain.out) << limit;
        EXPECT_EQ(r.err, plain.err) << limit;
    }
    EXPECT_EQ(scanner(kWorkedExampleArgs + QStringList{"--max-pixels", "307199", chart}).code, kScanFileError);
}

// The real scanner in a child process, with the signal dispositions that a
// shell gives it (the tests' own process ignores SIGXFSZ) and a resource
// limit. Returns the exit status as waitpid() gives it; `err` gets its
// standard error.
int runChild(const QStringList& args, int resource, rlim_t limit, std::string& err)
{
    std::vector<QByteArray> owned{QByteArray(PLOTRUN_SCAN_BINARY)};
    for (const QString& a : args)
        owned.push_back(QFile::encodeName(a));
    std::vector<char*> argv;
    for (QByteArray& a : owned)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_DFL);
        rlimit r{limit, limit};
        setrlimit(resource, &r);
        dup2(pipeFds[1], 2);
        const int devNull = open("/dev/null", O_WRONLY);
        dup2(devNull, 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    char buffer[4096];
    ssize_t n;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0)
        err.append(buffer, size_t(n));
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

TEST_F(ScanCommand, AFileSizeLimitGivesExitOneAndKeepsTheOldFile)
{
    const QString out = file("kept.txt");
    ASSERT_TRUE(writeFile(out, "old contents"));
    std::string err;
    const int status =
        runChild(kWorkedExampleArgs + QStringList{"-o", out, bmp("chart.bmp", 24)}, RLIMIT_FSIZE, 100, err);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), kScanFileError);
    EXPECT_NE(err.find("cannot write"), std::string::npos) << err;
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("old contents"));
}

// The address and thread sanitizers reserve more address space than the test
// below lets the scanner have. GCC announces them with macros, clang 14 only
// through __has_feature.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define PLOTRUN_SANITIZER_RESERVES_ADDRESS_SPACE 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define PLOTRUN_SANITIZER_RESERVES_ADDRESS_SPACE 1
#endif
#endif

TEST_F(ScanCommand, MemoryRunningOutWhileDecodingSaysMemory)
{
#if defined(PLOTRUN_SANITIZER_RESERVES_ADDRESS_SPACE)
    GTEST_SKIP() << "the sanitizer reserves more address space than the limit";
#else
    // A small JPEG whose header claims 20000 x 20000 pixels: 1.6 GB decoded,
    // more than the address space the child may have.
    QImage small(16, 16, QImage::Format_RGB32);
    small.fill(Qt::white);
    ASSERT_TRUE(small.save(file("small.jpg"), "JPEG"));
    QFile f(file("small.jpg"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QByteArray jpeg = f.readAll();
    const int sof = int(jpeg.indexOf("\xFF\xC0"));
    ASSERT_GT(sof, 0);
    jpeg[sof + 5] = char(20000 >> 8);
    jpeg[sof + 6] = char(20000 & 0xFF);
    jpeg[sof + 7] = char(20000 >> 8);
    jpeg[sof + 8] = char(20000 & 0xFF);
    ASSERT_TRUE(writeFile(file("claims.jpg"), jpeg));
    std::string err;
    const int status =
        runChild({"--origin", "0,0", "--ref", "1,1", "--real-ref", "1,1", "--area", "0,0,1,1", file("claims.jpg")},
                 RLIMIT_AS, rlim_t(1) << 30, err);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WEXITSTATUS(status), kScanFileError);
    EXPECT_NE(err.find("memory"), std::string::npos) << err;
#endif
}

} // namespace
} // namespace plotrun::test

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
