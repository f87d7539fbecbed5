#include "PictureFile.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <new>
#include <unistd.h>

namespace plotrun {

namespace {

quint32 le16(const QByteArray& b, int at) { return quint8(b[at]) | quint8(b[at + 1]) << 8; }
quint32 le32(const QByteArray& b, int at) { return le16(b, at) | le16(b, at + 2) << 16; }

QString bmpDepth(const QByteArray& b)
{
    if (b.size() < 30)
        return "-";
    const quint32 headerSize = le32(b, 14);
    const quint32 bits = headerSize == 12 ? le16(b, 24) : le16(b, 28);
    if (bits == 16) {
        // Plain 16-bit pixels hold 5 bits a channel; bit fields may say 5-6-5.
        const quint32 compression = b.size() >= 34 ? le32(b, 30) : 0;
        const bool fieldsFollow = compression == 3 && b.size() >= 62;
        const quint32 greenMask = fieldsFollow ? le32(b, 58) : 0;
        return greenMask == 0x07E0 ? "16" : "15";
    }
    switch (bits) {
    case 1: case 4: case 8: case 24: case 32:
        return QString::number(bits);
    default:
        return "-";
    }
}

// What a BMP header says of the picture: its size, and whether the file holds
// all the pixel rows it promises (Qt would leave missing rows unset).
struct BmpFacts {
    QSize size;
    bool truncated = false;
};

BmpFacts bmpFacts(const QByteArray& b, qint64 fileSize)
{
    BmpFacts f;
    if (!b.startsWith("BM") || b.size() < 30 || le32(b, 14) < 40)
        return f;
    const qint64 width = qint32(le32(b, 18));
    const qint64 height = qAbs(qint64(qint32(le32(b, 22))));
    const qint64 bits = le16(b, 28);
    const quint32 compression = b.size() >= 34 ? le32(b, 30) : 0;
    f.size = QSize(int(std::clamp<qint64>(width, -1, INT_MAX)), int(std::min<qint64>(height, INT_MAX)));
    if (width > 0 && (compression == 0 || compression == 3)) {
        const qint64 rowBytes = (width * bits + 31) / 32 * 4;
        f.truncated = qint64(le32(b, 10)) + rowBytes * height > fileSize;
    }
    return f;
}

QString pngDepth(const QByteArray& b)
{
    if (b.size() < 26)
        return "-";
    const int depth = quint8(b[24]);
    int channels = 0;
    switch (quint8(b[25])) {
    case 0: case 3: channels = 1; break;
    case 2: channels = 3; break;
    case 4: channels = 2; break;
    case 6: channels = 4; break;
    default: return "-";
    }
    return QString::number(depth * channels);
}

QString jpegDepth(const QByteArray& b)
{
    int at = 2;
    while (at + 9 < b.size()) {
        if (quint8(b[at]) != 0xFF)
            return "-";
        const int marker = quint8(b[at + 1]);
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        const int length = quint8(b[at + 2]) << 8 | quint8(b[at + 3]);
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame)
            return QString::number(quint8(b[at + 4]) * quint8(b[at + 9]));
        if (length < 2)
            return "-";
        at += 2 + length;
    }
    return "-";
}

QString gifDepth(const QByteArray& b)
{
    if (b.size() < 11 || !(quint8(b[10]) & 0x80))
        return "-";
    return QString::number((quint8(b[10]) & 7) + 1);
}

QString depthOfImage(const QImage& image)
{
    switch (image.depth()) {
    case 1: case 4: case 8: case 16: case 24: case 32:
        return QString::number(image.depth());
    default:
        return "-";
    }
}

QString tooLargeMessage(const QSize& size, qint64 bytes, qint64 budget)
{
    return QString("The picture of %1 x %2 pixels needs %3 MB of memory, but only %4 MB are free.")
        .arg(size.width())
        .arg(size.height())
        .arg(bytes >> 20)
        .arg(budget >> 20);
}

} // namespace

qint64 pictureMemoryBudget()
{
    // MemAvailable tells what can be had without swapping; keep a margin for
    // the rest of the program.
    qint64 available = 0;
    if (FILE* f = std::fopen("/proc/meminfo", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, f)) {
            long long kb = 0;
            if (std::sscanf(line, "MemAvailable: %lld kB", &kb) == 1) {
                available = kb * 1024;
                break;
            }
        }
        std::fclose(f);
    }
    if (available <= 0)
        available = qint64(sysconf(_SC_PHYS_PAGES)) * sysconf(_SC_PAGE_SIZE);
    return available / 10 * 8;
}

QString declaredBitsPerPixel(const QByteArray& b)
{
    if (b.startsWith("BM"))
        return bmpDepth(b);
    if (b.startsWith("\x89PNG\r\n\x1a\n"))
        return pngDepth(b);
    if (b.startsWith("\xFF\xD8"))
        return jpegDepth(b);
    if (b.startsWith("GIF8"))
        return gifDepth(b);
    return "-";
}

QImage toScanPixels(QImage image)
{
    if (image.isNull())
        return image;
    const bool alpha = image.hasAlphaChannel();
    const QImage::Format wide = alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    if (image.format() != wide) {
        image = image.convertToFormat(wide);
        if (image.isNull())
            throw std::bad_alloc();
    }
    // Swap to red-low byte order in place: no second copy of a huge picture.
    const int w = image.width();
    for (int y = 0; y < image.height(); ++y) {
        auto* p = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const quint32 c = p[x];
            quint32 r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
            if (alpha) {
                const quint32 a = c >> 24;
                const quint32 white = 255 * (255 - a);
                r = (r * a + white + 127) / 255;
                g = (g * a + white + 127) / 255;
                b = (b * a + white + 127) / 255;
            }
            p[x] = 0xFF000000u | b << 16 | g << 8 | r;
        }
    }
    image.reinterpretAsFormat(QImage::Format_RGBX8888);
    return image;
}

PixelView pixelView(const QImage& img)
{
    PixelView v;
    v.width = img.width();
    v.height = img.height();
    v.stride = img.bytesPerLine() / 4;
    v.pixels = reinterpret_cast<const uint32_t*>(img.constBits());
    return v;
}

Picture loadPicture(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw PictureError(QString("Cannot open file \"%1\": %2").arg(path, file.errorString()).toStdString());
    const QByteArray head = file.peek(65536);

    QImageReader reader(&file);
    if (!reader.canRead())
        throw PictureError(QString("\"%1\" is not a picture that can be read.").arg(name).toStdString());
    const BmpFacts bmp = bmpFacts(head, file.size());
    const QSize size = reader.size().isValid() ? reader.size() : bmp.size;
    const qint64 budget = pictureMemoryBudget();
    if (size.isValid()) {
        const qint64 bytes = qint64(size.width()) * size.height() * 4;
        if (size.width() > 0x3FFFFFFF / 4 || size.height() > 0x3FFFFFFF || bytes > budget)
            throw PictureError(tooLargeMessage(size, bytes, budget).toStdString());
    }
    if (bmp.truncated)
        throw PictureError(QString("The picture file \"%1\" is damaged: it ends before its last pixel row.")
                               .arg(name)
                               .toStdString());
    // Qt refuses pictures above 256 MB unless told otherwise.
    QImageReader::setAllocationLimit(int(std::min<qint64>(budget >> 20, 1 << 30)));

    QImage image;
    try {
        image = reader.read();
        if (image.isNull())
            throw PictureError(QString("Cannot read picture \"%1\": %2").arg(name, reader.errorString()).toStdString());
        Picture p{toScanPixels(std::move(image)), declaredBitsPerPixel(head)};
        return p;
    } catch (const std::bad_alloc&) {
        throw PictureError(QString("There is not enough memory for picture \"%1\".").arg(name).toStdString());
    }
}

Picture pictureFromImage(const QImage& image)
{
    try {
        return {toScanPixels(image), depthOfImage(image)};
    } catch (const std::bad_alloc&) {
        throw PictureError("There is not enough memory for the picture.");
    }
}

} // namespace plotrun
