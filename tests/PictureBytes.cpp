#include "PictureBytes.h"

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

QByteArray gifBytes(int width, int height, const IndexAt& indexAt, const std::vector<uint32_t>& palette)
{
    QByteArray b("GIF89a");
    put16(b, width);
    put16(b, height);
    b.append(char(0xF7)); // a global table of 256 colours
    b.append(char(0));
    b.append(char(0));
    for (int i = 0; i < 256; ++i) {
        const uint32_t c = i < int(palette.size()) ? palette[i] : 0;
        b.append(char(c >> 16));
        b.append(char(c >> 8));
        b.append(char(c));
    }
    b.append(char(0x2C));
    put16(b, 0);
    put16(b, 0);
    put16(b, width);
    put16(b, height);
    b.append(char(0));
    b.append(char(8)); // the minimum code size
    QByteArray data;
    uint32_t bits = 0;
    int count = 0;
    const auto putCode = [&](uint32_t code) {
        bits |= code << count;
        count += 9;
        while (count >= 8) {
            data.append(char(bits & 0xFF));
            bits >>= 8;
            count -= 8;
        }
    };
    // Clearing before the table reaches 512 entries keeps every code 9 bits.
    putCode(256);
    int sinceClear = 0;
    for (int row = 0; row < height; ++row)
        for (int x = 0; x < width; ++x) {
            if (sinceClear == 250) {
                putCode(256);
                sinceClear = 0;
            }
            putCode(uint32_t(indexAt(x, row)));
            ++sinceClear;
        }
    putCode(257);
    if (count > 0)
        data.append(char(bits & 0xFF));
    for (int at = 0; at < data.size(); at += 255) {
        const QByteArray block = data.mid(at, 255);
        b.append(char(block.size()));
        b.append(block);
    }
    b.append(char(0));
    b.append(char(0x3B));
    return b;
}

QByteArray runLengthRows(int width, int height, int bits, const IndexAt& indexAt)
{
    QByteArray s;
    for (int row = height - 1; row >= 0; --row) { // bottom-up
        for (int x = 0; x < width;) {
            int run = 1;
            while (x + run < width && run < 255 && indexAt(x + run, row) == indexAt(x, row))
                ++run;
            s.append(char(run));
            const int v = indexAt(x, row);
            s.append(char(bits == 4 ? (v << 4 | v) : v));
            x += run;
        }
        s.append(char(0));
        s.append(char(row == 0 ? 1 : 0));
    }
    return s;
}

QByteArray runLengthBmp(int width, int height, int bits, const QByteArray& stream, const std::vector<uint32_t>& palette)
{
    const uint32_t offset = 14 + 40 + uint32_t(palette.size()) * 4;
    QByteArray b("BM");
    put32(b, offset + stream.size());
    put32(b, 0);
    put32(b, offset);
    put32(b, 40);
    put32(b, width);
    put32(b, height);
    put16(b, 1);
    put16(b, bits);
    put32(b, bits == 8 ? 1 : 2);
    put32(b, stream.size());
    put32(b, 2835);
    put32(b, 2835);
    put32(b, uint32_t(palette.size()));
    put32(b, 0);
    for (uint32_t c : palette)
        put32(b, c);
    b.append(stream);
    return b;
}

QByteArray coreHeaderBmp(int width, int height, const IndexAt& indexAt, const std::vector<uint32_t>& palette)
{
    const int rowBytes = (width + 3) / 4 * 4;
    const uint32_t offset = 14 + 12 + 256 * 3;
    QByteArray b("BM");
    put32(b, offset + rowBytes * height);
    put32(b, 0);
    put32(b, offset);
    put32(b, 12);
    put16(b, width);
    put16(b, height);
    put16(b, 1);
    put16(b, 8);
    for (int i = 0; i < 256; ++i) {
        const uint32_t c = i < int(palette.size()) ? palette[i] : 0;
        b.append(char(c));
        b.append(char(c >> 8));
        b.append(char(c >> 16));
    }
    for (int row = height - 1; row >= 0; --row) {
        QByteArray line(rowBytes, '\0');
        for (int x = 0; x < width; ++x)
            line[x] = char(indexAt(x, row));
        b.append(line);
    }
    return b;
}

} // namespace plotrun::test
