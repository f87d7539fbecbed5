// Pages of PDF and SVG files: rendered on white paper at the chosen
// resolution, refused when empty, damaged, encrypted or too large, and
// scanned by the scanner as accurately as the chart they hold allows.
#include "BmpFile.h"
#include "PageChart.h"
#include "ScannerRun.h"

#include "../files/PageFile.h"
#include "../files/SettingsFile.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

namespace plotrun::test {
namespace {

// A PDF made of the given objects, numbered from 1, with a correct table of
// where each starts; `trailer` adds keys to the trailer.
QByteArray handMadePdf(const QStringList& objects, const QString& trailer = {})
{
    QByteArray pdf = "%PDF-1.4\n";
    QList<qsizetype> at;
    for (int i = 0; i < objects.size(); ++i) {
        at << pdf.size();
        pdf += QString("%1 0 obj\n%2\nendobj\n").arg(i + 1).arg(objects[i]).toLatin1();
    }
    const qsizetype xref = pdf.size();
    pdf += QString("xref\n0 %1\n0000000000 65535 f \n").arg(objects.size() + 1).toLatin1();
    for (qsizetype a : at)
        pdf += QString("%1 00000 n \n").arg(a, 10, 10, QChar('0')).toLatin1();
    pdf += QString("trailer\n<< /Size %1 /Root 1 0 R %2 >>\nstartxref\n%3\n%%EOF\n")
               .arg(objects.size() + 1)
               .arg(trailer)
               .arg(xref)
               .toLatin1();
    return pdf;
}

const QStringList kOnePage{"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                           "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 144 72] >>"};

class PageFiles : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString pdf() { return written("chart.pdf", PageChart::writePdf); }
    QString svg() { return written("chart.svg", PageChart::writeSvg); }
    QString put(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(writeFile(path, bytes));
        return path;
    }
    // The message that refuses the file, or "" when its first page renders.
    static std::string refusal(const QString& path)
    {
        try {
            loadPage(path, 1, 72);
            return "";
        } catch (const PictureError& e) {
            return e.what();
        }
    }

private:
    QString written(const QString& name, bool (*write)(const QString&))
    {
        const QString path = dir.filePath(name);
        if (!QFile::exists(path)) {
            EXPECT_TRUE(write(path));
        }
        return path;
    }
};

// 0x00RRGGBB of a rendered pixel.
uint32_t colourOf(const Picture& p, int x, int row)
{
    const uint32_t c = pixelView(p.image).colourAt(x, row);
    return (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF);
}

TEST_F(PageFiles, APageRendersOnWhitePaperAtItsResolution)
{
    for (const QString& path : {pdf(), svg()}) {
        const PageFile file(path);
        const int page = file.pageCount();
        EXPECT_EQ(page, path.endsWith(".pdf") ? 2 : 1);
        EXPECT_EQ(file.inches(page), QSizeF(6, 4.5)) << path.toStdString();
        for (int dpi : {100, 300}) {
            const Picture p = file.render(page, dpi);
            ASSERT_EQ(p.image.size(), QSize(6 * dpi, 9 * dpi / 2)) << path.toStdString();
            EXPECT_EQ(colourOf(p, 2, 2), 0xFFFFFFu) << path.toStdString(); // paper, not transparency
            // The frame's left edge, a point wide, is black at any resolution.
            const int frame = int(PageChart::kLeft * dpi / 72), mid = int(200 * dpi / 72);
            EXPECT_LT(colourOf(p, frame, mid) & 0xFF, 0x80u) << path.toStdString() << " " << dpi;
        }
    }
    const PageFile two(pdf());
    EXPECT_EQ(PageFile::pictureName("chart.pdf", two.format(), 2, 300), "chart.pdf, page 2 at 300 dpi");
    try {
        two.render(3, 300);
        ADD_FAILURE();
    } catch (const PictureError& e) {
        EXPECT_STREQ(e.what(), "\"chart.pdf\" has 2 pages; there is no page 3.");
    }
}

TEST_F(PageFiles, APageOverThePixelLimitIsRefusedWithTheResolutionThatFits)
{
    const PageFile file(pdf());
    // 6 x 4.5 inches at 300 dpi are 2.43 megapixels; 200 dpi take 1.08.
    try {
        file.render(2, 300, 1'100'000);
        ADD_FAILURE();
    } catch (const PixelLimitError& e) {
        EXPECT_STREQ(e.what(), "Page 2 of \"chart.pdf\" at 300 dpi would be 1800 x 1350 pixels, more than the limit "
                               "of 1100000 pixels. At most 201 dpi fits.");
    }
    EXPECT_EQ(file.render(2, 201, 1'100'000).image.size(), QSize(1206, 905));
    EXPECT_THROW(file.render(2, 202, 1'100'000), PixelLimitError);
    // The same for the memory that is free.
    try {
        file.render(2, 300, kDefaultMaxPixels, 4'400'000);
        ADD_FAILURE();
    } catch (const PictureError& e) {
        EXPECT_NE(std::string(e.what()).find("At most 201 dpi fits."), std::string::npos) << e.what();
    }
}

TEST_F(PageFiles, EmptyDamagedAndEncryptedFilesAreRefusedInTheirOwnWords)
{
    const QByteArray good = [&] {
        QFile f(pdf());
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    const QByteArray chart = [&] {
        QFile f(svg());
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    // A password that is not the empty one: the user password's hash does
    // not match, so the file opens only with the password.
    const QString encrypt =
        "<< /Filter /Standard /V 1 /R 2 /O <" + QString(64, 'a') + "> /U <" + QString(64, 'b') + "> /P -44 >>";
    const struct {
        const char* name;
        QByteArray bytes;
        const char* message;
    } cases[] = {
        {"empty.pdf", "", "The PDF file \"empty.pdf\" is empty."},
        {"empty.svg", "", "The SVG file \"empty.svg\" is empty."},
        // Cut before its end marker only: the renderer would show it whole.
        {"cut.pdf", good.left(good.lastIndexOf("%%EOF")),
         "The PDF file \"cut.pdf\" is damaged: it is cut short (it has no end marker %%EOF)."},
        {"garbage.pdf", "%PDF-1.4\n" + QByteArray(3000, '\x17') + "\n%%EOF\n",
         "The PDF file \"garbage.pdf\" is damaged: its structure cannot be read."},
        {"encrypted.pdf",
         handMadePdf(kOnePage + QStringList{encrypt},
                     "/Encrypt 4 0 R /ID [<" + QString(32, '1') + "> <" + QString(32, '1') + ">]"),
         "The PDF file \"encrypted.pdf\" is encrypted: it opens only with its password. Save a copy without a "
         "password, then open that."},
        {"nopages.pdf", handMadePdf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [] /Count 0 >>"}),
         "The PDF file \"nopages.pdf\" is empty: it has no pages."},
        // A list of pages that holds itself: the renderer would never return.
        {"loop.pdf",
         handMadePdf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                      "<< /Type /Pages /Kids [2 0 R] /Count 1 >>"}),
         "The PDF file \"loop.pdf\" is damaged: its list of pages leads back into itself."},
        {"cut.svg", chart.left(chart.size() / 2), "The SVG file \"cut.svg\" is damaged: line "},
        {"html.svg", "<html><body>no drawing</body></html>", "The SVG file \"html.svg\" does not hold an SVG drawing."},
        {"sizeless.svg", "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"0\" height=\"0\"/>",
         "The SVG file \"sizeless.svg\" is empty: its drawing has no size."},
    };
    for (const auto& c : cases) {
        const std::string message = refusal(put(c.name, c.bytes));
        EXPECT_EQ(message.substr(0, std::strlen(c.message)), c.message) << c.name << ": " << message;
    }
    // The same file unencrypted opens: the refusal is the encryption's.
    EXPECT_EQ(refusal(put("plain.pdf", handMadePdf(kOnePage))), "");
}

// --- The scanner on pages

// The rms distance of the points from the curve as a page at `dpi` shows it,
// as % of the y range (1).
double rmsPercent(const std::vector<Point>& pts, int dpi)
{
    double sum2 = 0;
    for (const Point& p : pts)
        sum2 += std::pow(p.y - PageChart::seenAt(p.x, dpi), 2);
    return pts.empty() ? 1e9 : 100 * std::sqrt(sum2 / double(pts.size()));
}

QStringList settingsFlags(const ScanSettings& s)
{
    const auto pair = [](double a, double b) { return QString("%1,%2").arg(a).arg(b); };
    return {"--origin",
            pair(s.OriginX, s.OriginY),
            "--ref",
            pair(s.RefX, s.RefY),
            "--real-ref",
            pair(s.RealRefX, s.RealRefY),
            "--area",
            pair(s.ScanStartX, s.ScanStartY) + "," + pair(s.ScanEndX, s.ScanEndY),
            "--scan-width",
            QString::number(s.ScanWidth),
            "--follow",
            "--remove-lines",
            "--decimal-separator",
            "."};
}

TEST_F(PageFiles, ThePdfsSecondPageAndTheSvgScanWithinATenthOfAPercent)
{
    const QStringList flags = settingsFlags(PageChart::settings(300, 4));
    const QString saved = dir.filePath("at300.json");
    const ScanRun page2 = scanner(flags + QStringList{"--page", "2", "--save-settings", saved, pdf()});
    ASSERT_EQ(page2.code, kScanDone) << page2.err;
    const std::vector<Point> at300 = points(page2.out);
    EXPECT_GE(at300.size(), 300u); // of 339 strips
    EXPECT_LE(rmsPercent(at300, 300), 0.1);
    RecordProperty("pdf_rms_percent_300dpi", std::to_string(rmsPercent(at300, 300)));

    const ScanRun drawing = scanner(flags + QStringList{svg()});
    ASSERT_EQ(drawing.code, kScanDone) << drawing.err;
    EXPECT_LE(rmsPercent(points(drawing.out), 300), 0.1);
    RecordProperty("svg_rms_percent_300dpi", std::to_string(rmsPercent(points(drawing.out), 300)));

    // The settings made at 300 dpi, scaled to the page at 600 dpi: the same
    // numbers. The file holds the page, so only the resolution is given.
    EXPECT_EQ(readSettingsFile(saved).page, (PageChoice{2, 300}));
    const ScanRun at600 = scanner({"--settings", saved, "--dpi", "600", "--scale-with-picture", pdf()});
    ASSERT_EQ(at600.code, kScanDone) << at600.err;
    const std::vector<Point> fine = points(at600.out);
    ASSERT_EQ(fine.size(), at300.size());
    double sum2 = 0, most = 0;
    for (size_t i = 0; i < fine.size(); ++i) {
        const double d = fine[i].y - at300[i].y;
        sum2 += d * d;
        most = std::max(most, std::fabs(d));
        EXPECT_NEAR(fine[i].x, at300[i].x, 0.01) << i;
    }
    const double rms = 100 * std::sqrt(sum2 / double(fine.size()));
    EXPECT_LE(rms, 0.05);
    RecordProperty("rms_percent_600_against_300", std::to_string(rms));
    RecordProperty("most_percent_600_against_300", std::to_string(100 * most));
    // Without scaling, the settings of the 300-dpi page do not fit.
    EXPECT_EQ(scanner({"--settings", saved, "--dpi", "600", pdf()}).code, kScanUsage);
}

TEST_F(PageFiles, ThePageAndResolutionFlagsAreCheckedAndGoIntoTheSettingsFile)
{
    const QStringList flags = settingsFlags(PageChart::settings(300, 4));
    ScanRun r = scanner(flags + QStringList{"--page", "3", pdf()});
    EXPECT_EQ(r.code, kScanFileError);
    EXPECT_EQ(r.err, "plotrun-scan: \"chart.pdf\" has 2 pages; there is no page 3.\n");
    // A drawing is one page, as a picture is: batches give --page for the PDFs.
    EXPECT_EQ(scanner(flags + QStringList{"--page", "2", "--save-settings", dir.filePath("d.json"), svg()}).code,
              kScanDone);
    r = scanner(flags + QStringList{"--page", "0", pdf()});
    EXPECT_EQ(r.code, kScanUsage);
    EXPECT_NE(r.err.find("--page takes a whole number of at least 1"), std::string::npos) << r.err;
    EXPECT_EQ(scanner(flags + QStringList{"--dpi", "9601", pdf()}).code, kScanUsage);
    // Page 1 holds text only: no curve to follow, but a page all the same.
    EXPECT_EQ(scanner(flags + QStringList{pdf()}).code, kScanDone);
    // Over the pixel limit, the scanner says which resolution fits.
    r = scanner(flags + QStringList{"--page", "2", "--max-pixels", "1100000", pdf()});
    EXPECT_EQ(r.code, kScanFileError);
    EXPECT_NE(r.err.find("At most 201 dpi fits. Raise the limit with --max-pixels N."), std::string::npos) << r.err;

    // The file keeps the page in a group of its own, judged by its range.
    const QString saved = dir.filePath("s.json");
    const QStringList at600 = settingsFlags(PageChart::settings(600, 8));
    ASSERT_EQ(scanner(at600 + QStringList{"--page", "2", "--dpi", "600", "--save-settings", saved, pdf()}).code,
              kScanDone);
    SavedSettings s = readSettingsFile(saved);
    EXPECT_EQ(s.page, (PageChoice{2, 600}));
    EXPECT_EQ(s.pictureWidth, 3600); // the page as rendered at 600 dpi
    s.page.dpi = 5;
    try {
        settingsFromJson(settingsToJson(s));
        ADD_FAILURE();
    } catch (const SettingsFileError& e) {
        EXPECT_STREQ(e.what(), "the key \"page.dpi\": Resolution must be between 10 and 9600");
    }
}

TEST_F(PageFiles, ABatchMixesPicturesAndPagesAndAPictureIgnoresThePageFlags)
{
    // The page rendered once and saved as a picture scans as the page does.
    const QString png = dir.filePath("page.png");
    ASSERT_TRUE(PageFile(pdf()).render(2, 300).image.save(png));
    const QString drawing = dir.filePath("drawing.svg");
    ASSERT_TRUE(QFile::copy(svg(), drawing));
    const QString out = dir.filePath("out");
    const QStringList flags = settingsFlags(PageChart::settings(300, 4));
    const ScanRun r = scanner(flags + QStringList{"--page", "2", "-j", "2", "-O", out, pdf(), drawing, png});
    ASSERT_EQ(r.code, kScanDone) << r.err;
    const auto text = [&](const QString& name) {
        QFile f(QDir(out).filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    EXPECT_FALSE(text("chart.txt").isEmpty());
    EXPECT_EQ(text("chart.txt"), text("page.txt"));
    EXPECT_LE(rmsPercent(points(text("drawing.txt").toStdString()), 300), 0.1);

    // A picture is no page: the flags leave its output as it always was.
    const QString bmp = dir.filePath("worked.bmp");
    ASSERT_TRUE(writeFile(bmp, bmpBytes(640, 480, 24, workedExamplePixel, {})));
    EXPECT_EQ(scanner(kWorkedExampleArgs + QStringList{bmp}).out, kWorkedExampleText);
    EXPECT_EQ(scanner(kWorkedExampleArgs + QStringList{"--page", "2", "--dpi", "600", bmp}).out, kWorkedExampleText);
}

} // namespace
} // namespace plotrun::test
