// Uncompressed BMP rows read straight into scan pixels give the same pixels,
// bit for bit, as Qt's reader followed by the conversion to scan pixels, on
// every variant: depths, palettes, padding, top-down rows, bit fields, the
// larger headers; and a chosen band of rows equals those rows of the whole.
#include "BmpFile.h"
#include "BmpRows.h"
#include "PictureBytes.h"
#include "PictureFile.h"

#include <QDir>
#include <QImageReader>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <random>

namespace plotrun::test {
namespace {

// The pixels as Qt's reader and the conversion give them.
QImage throughQt(const QString& path)
{
    QImageReader reader(path);
    QImage image = reader.read();
    EXPECT_FALSE(image.isNull()) << path.toStdString() << ": " << reader.errorString().toStdString();
    return toScanPixels(image);
}

// Compares picture rows [first, first + rows) of `p` with the same rows of `qt`.
void expectSameRows(const Picture& p, const QImage& qt, const std::string& what)
{
    const PixelView v = pixelView(p);
    ASSERT_EQ(v.width, qt.width()) << what;
    ASSERT_EQ(v.height, qt.height()) << what;
    const int32_t end = p.firstRow + p.heldRows();
    std::vector<uint8_t> buffer;
    PixelView held = v;
    for (int32_t r = p.firstRow; r < end; ++r) {
        if (v.feed && !held.holds(r))
            held = v.feed->rows(r, end, buffer);
        const auto* want = reinterpret_cast<const uint32_t*>(qt.constScanLine(r));
        for (int32_t x = 0; x < v.width; ++x) {
            if (held.layout == PixelLayout::Rgbx32) {
                ASSERT_EQ(held.row(r)[x], want[x]) << what << " at " << x << "," << r;
            }
            ASSERT_EQ(held.colourAt(x, r), want[x] & PixelView::kColourMask) << what << " at " << x << "," << r;
        }
    }
}

class BmpRows : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::mt19937 random{14};

    QString put(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(writeFile(path, bytes));
        return path;
    }

    std::vector<uint32_t> randomPalette(int bpp)
    {
        std::vector<uint32_t> palette;
        std::uniform_int_distribution<uint32_t> colour(0, 0xFFFFFF);
        for (int i = 0; i < (1 << bpp); ++i)
            palette.push_back(colour(random));
        return palette;
    }

    // A picture of random pixels (from the palette for the indexed depths).
    QByteArray randomBmp(int width, int height, int bpp)
    {
        const std::vector<uint32_t> palette = bpp <= 8 ? randomPalette(bpp) : std::vector<uint32_t>{};
        std::vector<uint32_t> pixels(size_t(width) * height);
        std::uniform_int_distribution<uint32_t> colour(0, 0xFFFFFF);
        for (uint32_t& p : pixels)
            p = bpp <= 8 ? palette[colour(random) % palette.size()] : colour(random);
        return bmpBytes(
            width, height, bpp, [&](int x, int row) { return pixels[size_t(row) * width + x]; }, palette);
    }

    void expectSameAsQt(const QString& name, const QByteArray& bytes)
    {
        const QString path = put(name, bytes);
        expectSameRows(loadPicture(path), throughQt(path), name.toStdString());
    }
};

TEST_F(BmpRows, EveryDepthAndRowPaddingGivesQtsPixels)
{
    for (int bpp : {1, 4, 8, 16, 24, 32})
        for (int width : {2, 3, 5, 13, 31, 64})
            expectSameAsQt(QString("d%1w%2.bmp").arg(bpp).arg(width), randomBmp(width, 7, bpp));
}

TEST_F(BmpRows, TopDownRowsGiveQtsPixels)
{
    for (int bpp : {1, 4, 8, 16, 24, 32}) {
        const QByteArray b = topDown(randomBmp(11, 9, bpp), 11, 9, bpp);
        expectSameAsQt(QString("top%1.bmp").arg(bpp), b);
    }
}

TEST_F(BmpRows, ThePlainDepthsAreReadDirectly)
{
    for (int bpp : {1, 4, 8, 16, 24, 32}) {
        const QByteArray b = randomBmp(9, 4, bpp);
        EXPECT_TRUE(readsBmpRowsDirectly(bmpLayout(b), b)) << bpp;
    }
}

TEST_F(BmpRows, The32BitFourthByteIsIgnoredAsQtIgnoresIt)
{
    QByteArray b = randomBmp(10, 6, 32);
    const int offset = int(quint8(b[10]) | quint8(b[11]) << 8);
    for (int i = offset + 3; i < b.size(); i += 4)
        b[i] = char(random() & 0xFF);
    expectSameAsQt("alpha32.bmp", b);
}

TEST_F(BmpRows, BitFieldsShortTablesAndCoreHeadersStayWithQt)
{
    // 16-bit 5-6-5 bit fields after a 40-byte header.
    QByteArray fields = randomBmp(12, 5, 16);
    fields[30] = char(3);
    const int offset = int(quint8(fields[10]) | quint8(fields[11]) << 8);
    QByteArray masks(12, '\0');
    const uint32_t m[3] = {0xF800, 0x07E0, 0x001F};
    std::memcpy(masks.data(), m, 12);
    fields.insert(54, masks);
    const uint32_t newOffset = offset + 12;
    std::memcpy(fields.data() + 10, &newOffset, 4);
    EXPECT_FALSE(readsBmpRowsDirectly(bmpLayout(fields), fields));
    expectSameAsQt("fields565.bmp", fields);

    // An 8-bit file whose colour table holds 2 of 256 colours.
    QByteArray shortTable = bmpBytes(8, 4, 8, [](int x, int) { return x % 2 ? 0xFFFFFFu : 0u; }, {0x000000, 0xFFFFFF});
    shortTable[46] = char(2);
    EXPECT_FALSE(readsBmpRowsDirectly(bmpLayout(shortTable), shortTable));

    const QByteArray core = coreHeaderBmp(10, 5, [](int x, int row) { return (x + row) % 2; }, {0xFFFFFF, 0x000000});
    EXPECT_FALSE(readsBmpRowsDirectly(bmpLayout(core), core));
    expectSameAsQt("core.bmp", core);
}

TEST_F(BmpRows, EveryBmpOfTheSeedCorpusGivesQtsPixels)
{
    const QDir corpus(QStringLiteral(PLOTRUN_SOURCE_DIR "/tests/fuzz/corpus"));
    const QStringList names = corpus.entryList({"chart*.bmp"}, QDir::Files);
    EXPECT_GE(names.size(), 5);
    for (const QString& name : names)
        expectSameRows(loadPicture(corpus.filePath(name)), throughQt(corpus.filePath(name)), name.toStdString());
}

TEST_F(BmpRows, AChosenBandHoldsThoseRowsOnly)
{
    for (int bpp : {1, 8, 24}) {
        for (bool down : {false, true}) {
            QByteArray b = randomBmp(23, 40, bpp);
            if (down)
                b = topDown(b, 23, 40, bpp);
            const QString path = put("band.bmp", b);
            const QImage qt = throughQt(path);
            // A plain pair, not a structured binding: clang 14 cannot capture
            // a binding in the lambda below.
            for (const std::pair<int, int>& band :
                 {std::pair{0, 40}, std::pair{5, 17}, std::pair{39, 40}, std::pair{0, 1}}) {
                const auto [first, end] = band;
                const Picture p = loadPicture(path, kDefaultMaxPixels, [&band](int32_t w, int32_t h) {
                    EXPECT_EQ(w, 23);
                    EXPECT_EQ(h, 40);
                    return band;
                });
                EXPECT_EQ(p.firstRow, first);
                EXPECT_EQ(p.heldRows(), end - first);
                EXPECT_EQ(p.feed != nullptr, bpp == 24);
                expectSameRows(p, qt, std::to_string(bpp) + (down ? " top-down " : " ") + std::to_string(first));
            }
        }
    }
}

TEST_F(BmpRows, AFileCutShortWhileItsRowsAreFedGivesAnError)
{
    const QString path = put("fed.bmp", randomBmp(50, 400, 24));
    const Picture p = loadPicture(path, kDefaultMaxPixels, [](int32_t, int32_t h) { return std::pair{0, h}; });
    ASSERT_TRUE(p.feed);
    std::vector<uint8_t> buffer;
    const PixelView first = p.feed->rows(0, 400, buffer);
    EXPECT_TRUE(first.holds(0));
    ASSERT_TRUE(QFile::resize(path, 2000));
    try {
        for (int32_t r = 0; r < 400; r = p.feed->rows(r, 400, buffer).endRow) {
        }
        ADD_FAILURE() << "rows were read that are no longer in the file";
    } catch (const BmpReadError& e) {
        EXPECT_NE(std::string(e.what()).find("cut short"), std::string::npos) << e.what();
    }
}

TEST_F(BmpRows, ATruncatedFileIsStillDamaged)
{
    const QByteArray b = randomBmp(20, 10, 24);
    const QString path = put("cut.bmp", b.left(b.size() - 1));
    try {
        loadPicture(path);
        ADD_FAILURE() << "a cut file was read";
    } catch (const PictureError& e) {
        EXPECT_NE(std::string(e.what()).find("is damaged"), std::string::npos) << e.what();
    }
}

} // namespace
} // namespace plotrun::test
