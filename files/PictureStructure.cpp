#include "PictureStructure.h"

#include <QIODevice>

#include <algorithm>
#include <vector>

namespace plotrun {

namespace {

uint8_t byteAt(const QByteArray& b, qint64 at) { return uint8_t(b.constData()[at]); }
uint32_t le16(const QByteArray& b, qint64 at) { return byteAt(b, at) | uint32_t(byteAt(b, at + 1)) << 8; }
uint32_t le32(const QByteArray& b, qint64 at) { return le16(b, at) | le16(b, at + 2) << 16; }

const char* const kCutShort = "it ends before its last pixel row";

} // namespace

bool checkedProduct(qint64 a, qint64 b, qint64& out) { return !__builtin_mul_overflow(a, b, &out); }

BmpLayout bmpLayout(const QByteArray& b)
{
    BmpLayout f;
    if (b.size() < 18) {
        f.problem = "its header is cut short";
        return f;
    }
    const uint32_t headerSize = le32(b, 14);
    uint32_t planes = 0, colours = 0;
    // The forms that the reader knows: the 12-byte core header of OS/2 and
    // early Windows, with 16-bit sizes and 3-byte colours, and the info
    // headers of 40, 64, 108 and 124 bytes. Any other size it would read as a
    // core header, which it is not.
    if (headerSize == 12) {
        if (b.size() < 26) {
            f.problem = "its header is cut short";
            return f;
        }
        f.width = int16_t(le16(b, 18));
        f.height = int16_t(le16(b, 20));
        planes = le16(b, 22);
        f.bits = int(le16(b, 24));
    } else if (headerSize == 40 || headerSize == 64 || headerSize == 108 || headerSize == 124) {
        if (b.size() < 54) {
            f.problem = "its header is cut short";
            return f;
        }
        f.width = int32_t(le32(b, 18));
        f.height = int32_t(le32(b, 22));
        planes = le16(b, 26);
        f.bits = int(le16(b, 28));
        f.compression = le32(b, 30);
        colours = le32(b, 46);
    } else {
        f.problem = QString("its header of %1 bytes is of a kind that cannot be read").arg(headerSize);
        return f;
    }
    f.height = f.height < 0 ? -f.height : f.height;
    f.pixelOffset = le32(b, 10);
    if (f.width <= 0 || f.height <= 0) {
        f.problem = "its header gives no valid size";
        return f;
    }
    const int n = f.bits;
    const uint32_t c = f.compression;
    const bool known = (n == 1 || n == 4 || n == 8 || n == 16 || n == 24 || n == 32) && planes == 1;
    const bool packing =
        c == 0 || (c == 1 && n == 8) || (c == 2 && n == 4) || ((c == 3 || c == 6) && (n == 16 || n == 32));
    if (!known || !packing) {
        f.problem = QString("its pixel format (%1 bits, compression %2) cannot be read").arg(n).arg(c);
        return f;
    }
    // Colour masks follow a 40- or 64-byte header; the larger headers hold
    // them inside.
    qint64 end = 14 + headerSize;
    if ((headerSize == 40 || headerSize == 64) && (c == 3 || c == 6))
        end += c == 3 ? 12 : 16;
    if (n <= 8) {
        const qint64 entries = colours ? colours : (1 << n);
        if (entries > 256) {
            f.problem = QString("its colour table of %1 entries is too long").arg(entries);
            return f;
        }
        end += entries * (headerSize == 12 ? 3 : 4);
    }
    f.tablesEnd = end;
    return f;
}

QString bmpRowsProblem(const BmpLayout& f, qint64 fileSize)
{
    // The reader starts the pixels where the tables end when the offset
    // points into them; a file like that is not what its header says.
    if (f.pixelOffset < f.tablesEnd)
        return "its colour table or colour masks overlap its pixels";
    const qint64 rowBytes = (f.width * f.bits + 31) / 32 * 4; // at most 2^36: no overflow
    qint64 pixelBytes = 0, end = 0;
    if (!checkedProduct(rowBytes, f.height, pixelBytes) || __builtin_add_overflow(f.pixelOffset, pixelBytes, &end) ||
        end > fileSize)
        return kCutShort;
    return {};
}

// Walks the run-length codes the way the reader does, counting the pixels
// that receive a value. The reader leaves a pixel that no code reaches as
// whatever the memory held, so the stream must give every pixel of every row:
// an end of line before the row is full, an end of picture before the last
// row, a jump (delta code) that moves the position, and a file that ends
// first all leave such pixels, and the file counts as damaged. Encoders write
// full rows; the rule refuses only streams that skip.
QString bmpRunsProblem(const BmpLayout& f, const QByteArray& file)
{
    if (f.pixelOffset < f.tablesEnd)
        return "its colour table or colour masks overlap its pixels";
    const bool four = f.compression == 2;
    const qint64 size = file.size();
    qint64 at = f.pixelOffset, x = 0, y = 0;
    const auto complete = [&] { return y == f.height || (y == f.height - 1 && x == f.width); };
    const QString skipped = "its compressed pixels leave part of the picture without a value";
    while (!complete()) {
        if (at + 2 > size)
            return kCutShort;
        const int count = byteAt(file, at);
        const int code = byteAt(file, at + 1);
        at += 2;
        if (count > 0) { // a run of one value
            if (x + count > f.width)
                return "a run of compressed pixels goes past the end of its row";
            x += count;
        } else if (code == 0) { // end of line
            if (x != f.width)
                return skipped;
            x = 0;
            ++y;
        } else if (code == 1) { // end of picture
            return skipped;
        } else if (code == 2) { // jump
            if (at + 2 > size)
                return kCutShort;
            if (byteAt(file, at) != 0 || byteAt(file, at + 1) != 0)
                return skipped;
            at += 2;
        } else { // `code` pixels given one by one, padded to whole words
            if (x + code > f.width)
                return "a run of compressed pixels goes past the end of its row";
            const qint64 bytes = four ? (code + 1) / 2 : code;
            if (at + bytes > size)
                return kCutShort;
            at += bytes + (bytes & 1);
            x += code;
        }
    }
    return {};
}

namespace {

// Counts the pixels that a GIF picture's LZW data decodes to, without
// decoding them: each table entry is one longer than the entry it extends.
qint64 lzwPixelCount(const QByteArray& data, int minCodeSize, qint64 wanted)
{
    const int clear = 1 << minCodeSize, stop = clear + 1;
    std::vector<uint32_t> length(4096, 1);
    int codeSize = minCodeSize + 1, next = clear + 2, previous = -1;
    qint64 count = 0, bit = 0;
    const qint64 bits = qint64(data.size()) * 8;
    while (count < wanted && bit + codeSize <= bits) {
        int code = 0;
        for (int i = 0; i < codeSize; ++i, ++bit)
            code |= ((byteAt(data, bit >> 3) >> (bit & 7)) & 1) << i;
        if (code == clear) {
            codeSize = minCodeSize + 1;
            next = clear + 2;
            previous = -1;
            continue;
        }
        if (code == stop)
            break;
        uint32_t n;
        if (code < clear)
            n = 1;
        else if (code > stop && code < next && previous >= 0)
            n = length[code];
        else if (code == next && previous >= 0)
            n = length[previous] + 1;
        else
            break; // corrupt: the reader stops here too
        if (previous >= 0 && next < 4096) {
            length[next] = length[previous] + 1;
            ++next;
            if (next == (1 << codeSize) && codeSize < 12)
                ++codeSize;
        }
        count += n;
        previous = code;
    }
    return count;
}

} // namespace

QString gifProblem(const QByteArray& b)
{
    const qint64 size = b.size();
    if (size < 13)
        return "its header is cut short";
    qint64 at = 13;
    if (byteAt(b, 10) & 0x80)
        at += 3 * (qint64(2) << (byteAt(b, 10) & 7));
    // Reads data sub-blocks from `at` up to their terminator or the end of
    // the file; `terminated` tells which.
    const auto subBlocks = [&](QByteArray* into) {
        while (at < size) {
            const int n = byteAt(b, at++);
            if (n == 0)
                return true;
            if (into)
                into->append(b.constData() + at, int(std::min<qint64>(n, size - at)));
            at += n;
        }
        return false;
    };
    while (at < size) {
        const int block = byteAt(b, at++);
        if (block == 0x21) { // an extension: its label, then sub-blocks
            ++at;
            if (!subBlocks(nullptr))
                return kCutShort;
        } else if (block == 0x2C) { // the first picture
            if (at + 10 > size)
                return kCutShort;
            const qint64 width = le16(b, at + 4), height = le16(b, at + 6);
            const int flags = byteAt(b, at + 8);
            at += 9;
            if (flags & 0x80)
                at += 3 * (qint64(2) << (flags & 7));
            if (at >= size)
                return kCutShort;
            const int minCodeSize = byteAt(b, at++);
            if (minCodeSize < 1 || minCodeSize > 11)
                return "its compressed pixels are corrupt";
            QByteArray data;
            subBlocks(&data); // a missing terminator is harmless once every pixel is there
            if (lzwPixelCount(data, minCodeSize, width * height) < width * height)
                return kCutShort;
            return {};
        } else if (block == 0x3B) {
            return "it holds no picture";
        } else {
            return "its blocks are corrupt";
        }
    }
    return kCutShort;
}

QString pngChunksProblem(QIODevice& device)
{
    const qint64 start = device.pos();
    const qint64 size = device.size();
    qint64 at = 8; // the signature
    QString problem = "it ends before its last chunk";
    while (at + 12 <= size) {
        char head[8];
        if (!device.seek(at) || device.read(head, 8) != 8)
            break;
        const qint64 length =
            qint64(quint8(head[0])) << 24 | quint8(head[1]) << 16 | quint8(head[2]) << 8 | quint8(head[3]);
        if (length > 0x7FFFFFFF) {
            problem = "a chunk claims more than 2 GB";
            break;
        }
        at += 12 + length;
        if (at > size)
            break;
        if (QByteArray(head + 4, 4) == "IEND") {
            problem.clear();
            break;
        }
    }
    device.seek(start);
    return problem;
}

QString jpegMarkersProblem(QIODevice& device)
{
    const qint64 start = device.pos();
    device.seek(0);
    const auto done = [&](const QString& problem) {
        device.seek(start);
        return problem;
    };
    // Bytes come a block at a time: the entropy-coded data of a scan is
    // walked through for its next marker.
    QByteArray block;
    qsizetype at = 0;
    const auto next = [&](quint8& byte) {
        if (at == block.size()) {
            block = device.read(1 << 16);
            at = 0;
            if (block.isEmpty())
                return false;
        }
        byte = quint8(block[at++]);
        return true;
    };
    const auto skip = [&](qint64 n) {
        while (n > 0) {
            const qint64 here = std::min<qint64>(n, block.size() - at);
            at += here;
            n -= here;
            if (n > 0) {
                block = device.read(std::min<qint64>(n, 1 << 16));
                at = 0;
                if (block.isEmpty())
                    return false;
            }
        }
        return true;
    };
    const QString cut = "it ends before its end marker";
    quint8 b = 0, marker = 0;
    if (!next(b) || b != 0xFF || !next(b) || b != 0xD8)
        return done({}); // not a JPEG: the reader says so
    bool inScan = false;
    while (true) {
        // The next marker: in a scan, 0xFF 0x00 is a data byte and the
        // restart markers belong to the scan.
        if (!next(b))
            return done(cut);
        if (b != 0xFF) {
            if (!inScan)
                return done("a segment is followed by bytes that are no marker");
            continue;
        }
        do {
            if (!next(marker))
                return done(cut);
        } while (marker == 0xFF);
        if (marker == 0x00 || (marker >= 0xD0 && marker <= 0xD7)) {
            if (!inScan)
                return done("a segment is followed by bytes that are no marker");
            continue;
        }
        if (marker == 0xD9)
            return done({});
        if (marker == 0x01) // TEM stands alone
            continue;
        quint8 hi = 0, lo = 0;
        if (!next(hi) || !next(lo))
            return done(cut);
        const int length = hi << 8 | lo;
        if (length < 2)
            return done("a segment claims less than its own length");
        if (!skip(length - 2))
            return done(cut);
        inScan = marker == 0xDA;
    }
}

} // namespace plotrun
