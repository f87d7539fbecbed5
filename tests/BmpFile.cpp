#include "BmpFile.h"

#include <QFile>

#include <algorithm>
#include <cstring>

namespace plotrun::test {

namespace {

void put16(QByteArray& b, uint32_t v)
{
    b.append(char(v & 0xFF));
    b.append(char((v >> 8) & 0xFF));
}
void put32(QByteArray& b, uint32_t v)
{
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

} // namespace

QByteArray bmpBytes(int width, int height, int bpp, const std::function<uint32_t(int, int)>& colourAt,
                    const std::vector<uint32_t>& palette)
{
    const int rowBytes = ((width * bpp + 31) / 32) * 4;
    const int paletteSize = bpp <= 8 ? (1 << bpp) : 0;
    const uint32_t offset = 14 + 40 + paletteSize * 4;
    QByteArray b;
    b.append("BM");
    put32(b, offset + rowBytes * height);
    put32(b, 0);
    put32(b, offset);
    put32(b, 40);
    put32(b, width);
    put32(b, height);
    put16(b, 1);
    put16(b, bpp);
    put32(b, 0); // no compression
    put32(b, rowBytes * height);
    put32(b, 2835);
    put32(b, 2835);
    put32(b, paletteSize);
    put32(b, 0);
    for (int i = 0; i < paletteSize; ++i)
        put32(b, i < int(palette.size()) ? palette[i] : 0);
    for (int row = height - 1; row >= 0; --row) { // bottom-up
        QByteArray line(rowBytes, '\0');
        for (int x = 0; x < width; ++x) {
            const uint32_t c = colourAt(x, row);
            if (bpp <= 8) {
                const int index = int(std::find(palette.begin(), palette.end(), c) - palette.begin());
                const int bit = x * bpp;
                line[bit / 8] = char(quint8(line[bit / 8]) | (index << (8 - bpp - bit % 8)));
            } else if (bpp == 16) {
                const uint32_t v = ((c >> 19) & 0x1F) << 10 | ((c >> 11) & 0x1F) << 5 | ((c >> 3) & 0x1F);
                line[x * 2] = char(v & 0xFF);
                line[x * 2 + 1] = char(v >> 8);
            } else {
                const int at = x * (bpp / 8);
                line[at] = char(c & 0xFF);
                line[at + 1] = char((c >> 8) & 0xFF);
                line[at + 2] = char((c >> 16) & 0xFF);
            }
        }
        b.append(line);
    }
    return b;
}

QByteArray topDown(const QByteArray& bottomUp, int width, int height, int bpp)
{
    QByteArray b = bottomUp;
    const int rowBytes = ((width * bpp + 31) / 32) * 4;
    const int offset = int(quint8(b[10]) | quint8(b[11]) << 8);
    const int32_t negative = -height;
    std::memcpy(b.data() + 22, &negative, 4);
    for (int r = 0; r < height; ++r)
        std::memcpy(b.data() + offset + r * rowBytes, bottomUp.constData() + offset + (height - 1 - r) * rowBytes,
                    size_t(rowBytes));
    return b;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace plotrun::test
