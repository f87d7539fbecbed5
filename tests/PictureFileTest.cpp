// The picture loader on damaged, hostile and unusual files: every picture it
// accepts has all of its pixels from the file.
#include "BmpFile.h"
#include "PictureBytes.h"
#include "PictureFile.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace plotrun::test {
namespace {

const std::vector<uint32_t> kBlackWhite{0xFFFFFF, 0x000000};

int stripes(int x, int row) { return (x / 3 + row / 2) % 2; }

// 0x00RRGGBB of a loaded pixel.
uint32_t colourOf(const Picture& p, int x, int row)
{
    const uint32_t c = pixelView(p.image).colourAt(x, row);
    return (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF);
}

class PictureFile : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString put(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(writeFile(path, bytes));
        return path;
    }
    // The loader's message for a file it refuses, or "" when it loads.
    std::string refusal(const QString& name, const QByteArray& bytes, qint64 maxPixels = kDefaultMaxPixels)
    {
        try {
            loadPicture(put(name, bytes), maxPixels);
            return "";
        } catch (const PictureError& e) {
            return e.what();
        }
    }
    void expectStripes(const Picture& p, int width, int height)
    {
        ASSERT_EQ(p.image.width(), width);
        ASSERT_EQ(p.image.height(), height);
        for (int row = 0; row < height; ++row)
            for (int x = 0; x < width; ++x)
                ASSERT_EQ(colourOf(p, x, row), kBlackWhite[stripes(x, row)]) << x << "," << row;
    }
};

TEST_F(PictureFile, ACoreHeaderBmpIsReadAndItsTruncationCaught)
{
    const QByteArray whole = coreHeaderBmp(20, 10, stripes, kBlackWhite);
    expectStripes(loadPicture(put("core.bmp", whole)), 20, 10);
    for (int keep : {30, 26 + 256 * 3, int(whole.size()) - 1}) {
        const std::string why = refusal("cut.bmp", whole.left(keep));
        EXPECT_NE(why.find("is damaged"), std::string::npos) << keep << ": " << why;
    }
}

TEST_F(PictureFile, AColourTableOverlappingThePixelsIsDamaged)
{
    // The pixel offset points into the colour table, and the file ends where
    // the rows end counted from that offset: the reader would start the rows
    // after the table and run out.
    QByteArray b = bmpBytes(16, 16, 8, [](int x, int) { return x % 2 ? 0u : 0xFFFFFFu; }, {0x000000, 0xFFFFFF});
    b[10] = char(54);
    b[11] = char(0);
    const std::string why = refusal("overlap.bmp", b.left(54 + 16 * 16));
    EXPECT_NE(why.find("colour table or colour masks overlap its pixels"), std::string::npos) << why;

    // 16-bit bit fields: three masks follow a 40-byte header.
    QByteArray masks = bmpBytes(16, 16, 16, [](int, int) { return 0u; });
    masks[30] = char(3);
    masks[10] = char(54);
    EXPECT_NE(refusal("masks.bmp", masks).find("overlap its pixels"), std::string::npos);
}

TEST_F(PictureFile, CompleteRunLengthBmpsAreRead)
{
    for (int bits : {8, 4}) {
        const QByteArray b = runLengthBmp(20, 10, bits, runLengthRows(20, 10, bits, stripes), kBlackWhite);
        expectStripes(loadPicture(put("rle.bmp", b)), 20, 10);
    }
}

TEST_F(PictureFile, RunLengthBmpsThatLeavePixelsUnsetAreDamaged)
{
    for (int bits : {8, 4}) {
        const QByteArray full = runLengthRows(20, 10, bits, stripes);
        const QByteArray earlyEnd = full.left(full.indexOf(QByteArray("\0\0", 2)) + 0) + QByteArray("\0\1", 2);
        const QByteArray jump = QByteArray("\x05\x11\0\2\x03\x01", 6) + full;
        const QByteArray shortRow = QByteArray("\x05\x11\0\0", 4) + full;
        const QByteArray tooLong = QByteArray("\x19\x11", 2) + full;
        const std::vector<std::pair<const char*, QByteArray>> streams{
            {"cut", full.left(full.size() / 2)},
            {"cut in the last run", full.left(full.size() - 3)},
            {"early end", earlyEnd},
            {"jump", jump},
            {"short row", shortRow},
            {"run past the row", tooLong}};
        for (const auto& [what, stream] : streams) {
            const std::string why = refusal("rle.bmp", runLengthBmp(20, 10, bits, stream, kBlackWhite));
            EXPECT_NE(why.find("is damaged"), std::string::npos) << bits << " bits, " << what << ": " << why;
        }
    }
}

TEST_F(PictureFile, ATruncatedGifIsDamaged)
{
    const QByteArray whole = gifBytes(40, 30, stripes, kBlackWhite);
    expectStripes(loadPicture(put("whole.gif", whole)), 40, 30);
    // Without its trailer and block terminator every pixel is still there.
    expectStripes(loadPicture(put("no-trailer.gif", whole.left(whole.size() - 2))), 40, 30);
    for (int keep : {20, 800, 900, int(whole.size()) * 2 / 3, int(whole.size()) - 6}) {
        const std::string why = refusal("cut.gif", whole.left(keep));
        EXPECT_NE(why.find("is damaged"), std::string::npos) << keep << ": " << why;
    }
}

QByteArray noisyJpeg()
{
    QImage image(128, 128, QImage::Format_RGB32);
    uint32_t state = 1;
    for (int row = 0; row < 128; ++row)
        for (int x = 0; x < 128; ++x) {
            state = state * 1103515245u + 12345u;
            image.setPixel(x, row, 0xFF000000u | (state >> 8));
        }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    return bytes;
}

TEST_F(PictureFile, ATruncatedOrCorruptJpegIsDamaged)
{
    const QByteArray whole = noisyJpeg();
    EXPECT_EQ(loadPicture(put("whole.jpg", whole)).image.width(), 128);
    const std::string cut = refusal("cut.jpg", whole.left(whole.size() * 2 / 3));
    EXPECT_NE(cut.find("is damaged"), std::string::npos) << cut;
    QByteArray corrupt = whole;
    for (int i = int(whole.size()) / 2; i < int(whole.size()) / 2 + 64; ++i)
        corrupt[i] = char(corrupt[i] ^ 0x5A);
    const std::string bad = refusal("corrupt.jpg", corrupt);
    EXPECT_NE(bad.find("is damaged"), std::string::npos) << bad;
}

// Cut between two of its scans, a progressive JPEG decodes as a blurred
// picture without a word from the reader.
TEST_F(PictureFile, AProgressiveJpegCutBetweenItsScansIsDamaged)
{
    QImage image(96, 64, QImage::Format_RGB32);
    uint32_t seed = 7;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            seed = seed * 1103515245u + 12345u;
            image.setPixel(x, y, qRgb(x * 2, y * 3, int(seed >> 24)));
        }
    QByteArray whole;
    QBuffer buffer(&whole);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    ASSERT_TRUE(writer.write(image));
    EXPECT_EQ(refusal("whole.jpg", whole), "");
    // Every cut: before each scan after the first, and before the end marker.
    std::vector<qsizetype> cuts;
    for (qsizetype at = whole.indexOf("\xFF\xDA"); at >= 0; at = whole.indexOf("\xFF\xDA", at + 1))
        cuts.push_back(at);
    ASSERT_GE(cuts.size(), 3u) << "a progressive JPEG has several scans";
    cuts.erase(cuts.begin());
    cuts.push_back(whole.size() - 2);
    for (const qsizetype cut : cuts) {
        const std::string why = refusal("cut.jpg", whole.left(cut));
        EXPECT_NE(why.find("is damaged: it ends before its end marker"), std::string::npos) << cut << ": " << why;
    }
    // Bytes after the end marker are no damage.
    EXPECT_EQ(refusal("tail.jpg", whole + QByteArray("trailing bytes")), "");
}

// A GIF whose header claims width x height, with a few pixels of data.
QByteArray claimingGif(int width, int height)
{
    QByteArray b = gifBytes(8, 8, stripes, kBlackWhite);
    for (int at : {6, 13 + 768 + 5}) {
        b[at] = char(width & 0xFF);
        b[at + 1] = char(width >> 8);
        b[at + 2] = char(height & 0xFF);
        b[at + 3] = char(height >> 8);
    }
    return b;
}

TEST_F(PictureFile, APictureClaimingMorePixelsThanTheLimitIsRefusedBeforeDecoding)
{
    try {
        loadPicture(put("huge.gif", claimingGif(16000, 16000)), 1'000'000);
        FAIL() << "loaded";
    } catch (const PixelLimitError& e) {
        EXPECT_EQ(e.size, QSize(16000, 16000));
        EXPECT_EQ(e.limit, 1'000'000);
        EXPECT_NE(std::string(e.what()).find("16000 x 16000"), std::string::npos) << e.what();
    }
    // The default limit is a gigapixel; a JPEG header can claim more.
    QByteArray jpeg = noisyJpeg();
    const int sof = int(jpeg.indexOf("\xFF\xC0"));
    ASSERT_GT(sof, 0);
    jpeg[sof + 5] = char(40000 >> 8);
    jpeg[sof + 6] = char(40000 & 0xFF);
    jpeg[sof + 7] = char(30000 >> 8);
    jpeg[sof + 8] = char(30000 & 0xFF);
    EXPECT_THROW(loadPicture(put("huge.jpg", jpeg)), PixelLimitError);
}

TEST_F(PictureFile, SizesNearTheLimitsOfTheHeaderNeverOverflow)
{
    QByteArray b = bmpBytes(4, 4, 32, [](int, int) { return 0u; });
    for (int at : {18, 22}) {
        b[at] = char(0xFF);
        b[at + 1] = char(0xFF);
        b[at + 2] = char(0xFF);
        b[at + 3] = char(0x7F);
    }
    const std::string why = refusal("wide.bmp", b, qint64(1) << 62);
    EXPECT_NE(why, "");
    EXPECT_EQ(why.find(" -"), std::string::npos) << why;
}

TEST_F(PictureFile, ABmpAboveTheReadersSizeSaysWhy)
{
    // The header alone: the loader refuses before it looks for the rows.
    QByteArray b = bmpBytes(4, 4, 24, [](int, int) { return 0u; }).left(54);
    b[18] = char(0x01);
    b[19] = char(0x40); // 16385
    b[22] = char(0x01);
    b[23] = char(0x40);
    const std::string why = refusal("large.bmp", b);
    EXPECT_NE(why.find("more than 268435456 pixels"), std::string::npos) << why;
    EXPECT_NE(why.find("PNG"), std::string::npos) << why;
}

TEST_F(PictureFile, ABmpThroughAPipeIsReadWhole)
{
    const QString fifo = dir.filePath("pipe");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QByteArray b = bmpBytes(20, 10, 24, [](int x, int row) { return kBlackWhite[stripes(x, row)]; });
    std::thread writer([&] {
        QFile f(fifo);
        if (f.open(QIODevice::WriteOnly))
            f.write(b);
    });
    Picture p;
    try {
        p = loadPicture(fifo);
    } catch (const PictureError& e) {
        ADD_FAILURE() << e.what();
    }
    writer.join();
    expectStripes(p, 20, 10);
}

// A stream is read only as far as a picture can reach: /dev/zero is no
// picture at all, and a picture's header followed by endless bytes is cut
// off at what a picture of its size could take, not read until the memory
// runs out.
TEST_F(PictureFile, AnEndlessStreamIsRefusedNotReadToTheEnd)
{
    try {
        loadPicture("/dev/zero");
        ADD_FAILURE() << "/dev/zero was taken as a picture";
    } catch (const PictureError& e) {
        EXPECT_STREQ(e.what(), "\"zero\" is not a picture that can be read.");
    }

    const QString fifo = dir.filePath("endless");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QByteArray png;
    {
        QBuffer b(&png);
        b.open(QIODevice::WriteOnly);
        QImage(10, 10, QImage::Format_RGB32).save(&b, "PNG");
    }
    // The writer stops when the reader closes the pipe, or after 64 MB.
    const auto oldPipe = signal(SIGPIPE, SIG_IGN);
    qint64 written = 0;
    std::thread writer([&] {
        QFile f(fifo);
        if (!f.open(QIODevice::WriteOnly))
            return;
        f.write(png);
        const QByteArray zeros(1 << 20, '\0');
        while (written < (qint64(64) << 20) && f.write(zeros) == zeros.size() && f.flush())
            written += zeros.size();
    });
    try {
        loadPicture(fifo);
        ADD_FAILURE() << "a picture of 10 x 10 pixels was read from " << written << " bytes";
    } catch (const PictureError& e) {
        EXPECT_NE(std::string(e.what()).find("goes on beyond the 16 MB that a picture of 10 x 10 pixels can take; "
                                             "it is not read further"),
                  std::string::npos)
            << e.what();
    }
    writer.join();
    signal(SIGPIPE, oldPipe);
    EXPECT_LT(written, qint64(64) << 20);
}

// A settings file or an output is never written over a picture.
TEST_F(PictureFile, APictureIsKnownByItsContentsNotItsName)
{
    const QByteArray bmp = bmpBytes(4, 4, 24, [](int, int) { return 0u; });
    EXPECT_TRUE(holdsPicture(put("chart.bmp", bmp)));
    EXPECT_TRUE(holdsPicture(put("chart.json", bmp)));
    EXPECT_FALSE(holdsPicture(put("s.png", "{\"format\": \"plotrun-settings\"}")));
    EXPECT_FALSE(holdsPicture(dir.filePath("missing.png")));
    EXPECT_FALSE(holdsPicture(dir.path()));
    const QString fifo = dir.filePath("pipe.png");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(holdsPicture(fifo)) << "and it did not wait for a writer";
}

// The seed corpus holds a small picture of every format, which loads, and
// the inputs that the fuzz target found ("found-*"), which are refused.
TEST_F(PictureFile, EveryFormatOfTheSeedCorpusLoadsAndEveryFindingIsRefused)
{
    const QDir corpus(QStringLiteral(PLOTRUN_SOURCE_DIR "/tests/fuzz/corpus"));
    const QStringList found = corpus.entryList({"found-*"}, QDir::Files);
    for (const QString& name : found)
        EXPECT_THROW(loadPicture(corpus.filePath(name)), PictureError) << name.toStdString();
    QStringList names = corpus.entryList(QDir::Files);
    for (const QString& name : found)
        names.removeAll(name);
    EXPECT_GE(names.size(), 10);
    for (const QString& name : names) {
        try {
            const Picture p = loadPicture(corpus.filePath(name));
            EXPECT_GE(p.image.width(), 1) << name.toStdString();
        } catch (const PictureError& e) {
            ADD_FAILURE() << name.toStdString() << ": " << e.what();
        }
    }
}

} // namespace
} // namespace plotrun::test

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
