#include "PictureFile.h"
#include "BmpRows.h"
#include "PageFile.h"
#include "PictureStructure.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <new>
#include <optional>
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
    case 1:
    case 4:
    case 8:
    case 24:
    case 32: return QString::number(bits);
    default: return "-";
    }
}

QString pngDepth(const QByteArray& b)
{
    if (b.size() < 26)
        return "-";
    const int depth = quint8(b[24]);
    int channels = 0;
    switch (quint8(b[25])) {
    case 0:
    case 3: channels = 1; break;
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
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32: return QString::number(image.depth());
    default: return "-";
    }
}

QString tooLargeMessage(const QSize& size, qint64 pixels, qint64 budget)
{
    qint64 bytes = 0;
    const QString need = checkedProduct(pixels, 4, bytes) ? QString("%1 MB").arg(bytes >> 20) : QString("more");
    return QString("The picture of %1 x %2 pixels needs %3 of memory, but only %4 MB are free.")
        .arg(size.width())
        .arg(size.height())
        .arg(need)
        .arg(budget >> 20);
}

std::string damaged(const QString& name, const QString& why)
{
    return QString("The picture file \"%1\" is damaged: %2.").arg(name, why).toStdString();
}

std::string noMemory(const QString& name)
{
    return QString("There is not enough memory for picture \"%1\".").arg(name).toStdString();
}

// Qt's readers fail without a word when the picture's memory cannot be had;
// asking for the same memory tells that case from a damaged file.
bool memoryFor(qint64 bytes)
{
    void* p = std::malloc(size_t(bytes));
    std::free(p);
    return p != nullptr;
}

// Qt's BMP reader refuses pictures of more pixels than this, whatever their
// depth.
constexpr qint64 kBmpReaderPixels = qint64(16384) * 16384;

// Collects what Qt's image readers say while one picture decodes. The JPEG
// reader reports missing or corrupt data only as a warning, and fills the gap;
// a failed allocation too shows only as a warning.
class DecodeMessages {
public:
    // Pictures may decode in several threads at once (the scanner's batches):
    // the handler is installed while any decode runs, and each thread's
    // messages go to that thread's decode.
    DecodeMessages()
    {
        active_ = this;
        const std::lock_guard lock(mutex_);
        if (users_++ == 0)
            previous_ = qInstallMessageHandler(&DecodeMessages::handle);
    }
    ~DecodeMessages()
    {
        const std::lock_guard lock(mutex_);
        if (--users_ == 0)
            qInstallMessageHandler(previous_);
        active_ = nullptr;
    }
    DecodeMessages(const DecodeMessages&) = delete;
    DecodeMessages& operator=(const DecodeMessages&) = delete;

    QString damage; // the first report of missing or corrupt data
    bool outOfMemory = false;
    // What the other readers said (libpng's "Read Error"): told with the
    // picture's name when the picture cannot be read, else let go.
    QStringList notes;

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text)
    {
        DecodeMessages* self = active_;
        if (!self) {
            if (previous_)
                previous_(type, context, text);
            return;
        }
        if (text.contains("out of memory") || text.contains("allocation limit")) {
            self->outOfMemory = true;
            return;
        }
        if (QByteArray(context.category ? context.category : "").startsWith("qt.gui.imageio.jpeg")) {
            static const char* const kDamage[] = {"Premature end", "premature end", "Corrupt", "corrupt",  "Bogus",
                                                  "resync",        "Huffman",       "Invalid", "truncated"};
            for (const char* d : kDamage)
                if (text.contains(d) && self->damage.isEmpty())
                    self->damage = text;
            return; // said in the loader's own words
        }
        if (QByteArray(context.category ? context.category : "").startsWith("qt.gui.imageio")) {
            if (!self->notes.contains(text))
                self->notes << text;
            return;
        }
        if (previous_)
            previous_(type, context, text);
    }

    static inline thread_local DecodeMessages* active_ = nullptr;
    static inline std::mutex mutex_;
    static inline int users_ = 0;
    static inline QtMessageHandler previous_ = nullptr;
};

PixelLimitError claimsTooMany(const QString& name, QSize size, qint64 maxPixels)
{
    return PixelLimitError(QString("The picture \"%1\" claims %2 x %3 pixels, more than the limit of %4 pixels.")
                               .arg(name)
                               .arg(size.width())
                               .arg(size.height())
                               .arg(maxPixels)
                               .toStdString(),
                           size, maxPixels);
}

// No picture format spends more than this on a pixel (16-bit RGBA at worst
// twice over), nor more than this on its headers and metadata.
constexpr qint64 kMostFileBytesPerPixel = 16;
constexpr qint64 kMostFileHeaderBytes = qint64(16) << 20;

// The rest of the device from where it stands, at most `limit` bytes; false
// when there is more.
// Everything read stays in `into`, so that a later call can go on from there.
bool readAllBounded(QIODevice& device, qint64 limit, QByteArray& into)
{
    char chunk[65536];
    while (true) {
        const qint64 room = std::max<qint64>(limit - into.size(), 0);
        const qint64 n = device.read(chunk, std::min<qint64>(sizeof chunk, room + 1));
        if (n < 0)
            throw PictureError(QString("Cannot read the picture: %1").arg(device.errorString()).toStdString());
        if (n == 0)
            return true;
        into.append(chunk, n);
        if (into.size() > limit)
            return false;
    }
}

// Decodes the picture on `device`, which can seek. `whole` holds the device's
// bytes when they are already in memory.
Picture decode(QIODevice& device, const QString& name, qint64 maxPixels, const QByteArray* whole,
               const RowChooser& rows, qint64 budget, int threads = kMostThreadsPerPicture)
{
    const QByteArray head = device.peek(65536);
    const qint64 fileSize = device.size();
    const bool bmp = head.startsWith("BM"), gif = head.startsWith("GIF8");
    const bool png = head.startsWith("\x89PNG\r\n\x1a\n");
    const bool jpeg = head.startsWith("\xFF\xD8\xFF");
    // Icon containers are no charts, and their reader takes whatever memory
    // the blocks claim, however the blocks are checked: they are not read.
    if (head.startsWith("icns"))
        throw PictureError(
            QString("\"%1\" is an icon file (icns), which is not read as a chart.").arg(name).toStdString());

    // Qt's readers speak while they read the header too.
    DecodeMessages messages;
    BmpLayout layout;
    if (bmp) {
        layout = bmpLayout(head);
        if (!layout.problem.isEmpty())
            throw PictureError(damaged(name, layout.problem));
    }
    // Uncompressed BMP rows are read here without Qt's reader, which would
    // first load every image format plugin.
    const bool direct = bmp && readsBmpRowsDirectly(layout, head);
    std::optional<QImageReader> reader;
    if (!direct) {
        reader.emplace(&device);
        if (!reader->canRead())
            throw PictureError(QString("\"%1\" is not a picture that can be read.").arg(name).toStdString());
    }

    // The size the picture claims, before anything is decoded.
    QSize size = reader ? reader->size() : QSize();
    qint64 pixels = -1;
    if (bmp) {
        size = QSize(int(layout.width), int(layout.height)); // both below 2^31
        pixels = layout.width * layout.height;
    } else if (size.isValid()) {
        pixels = qint64(size.width()) * size.height();
    }
    if (pixels > maxPixels)
        throw claimsTooMany(name, size, maxPixels);
    if (bmp && pixels > kBmpReaderPixels)
        throw PictureError(QString("The BMP picture \"%1\" of %2 x %3 pixels cannot be read: BMP pictures of more "
                                   "than %4 pixels cannot be read yet. Save it as PNG instead.")
                               .arg(name)
                               .arg(size.width())
                               .arg(size.height())
                               .arg(kBmpReaderPixels)
                               .toStdString());
    qint64 bytes = 0;
    if (pixels >= 0 && (!checkedProduct(pixels, 4, bytes) || bytes > budget))
        throw PictureError(tooLargeMessage(size, pixels, budget).toStdString());

    // Whether every pixel is in the file. Run-length BMPs and GIFs are walked
    // through, so they are read whole first.
    QString problem;
    if (bmp && layout.compression != 1 && layout.compression != 2) {
        problem = bmpRowsProblem(layout, fileSize);
    } else if (png) {
        problem = pngChunksProblem(device);
    } else if (jpeg) {
        problem = jpegMarkersProblem(device);
    } else if (bmp || gif) {
        QByteArray read;
        if (!whole) {
            if (fileSize > budget)
                throw PictureError(QString("The picture file \"%1\" is larger than the %2 MB of memory that are free.")
                                       .arg(name)
                                       .arg(budget >> 20)
                                       .toStdString());
            const qint64 at = device.pos();
            device.seek(0);
            read = device.readAll();
            device.seek(at);
            whole = &read;
        }
        problem = bmp ? bmpRunsProblem(layout, *whole) : gifProblem(*whole);
    }
    if (!problem.isEmpty())
        throw PictureError(damaged(name, problem));

    // Uncompressed BMP rows go straight into scan pixels, the same pixels
    // that Qt's reader and the conversion give, at the speed of reading.
    if (direct) {
        auto [first, end] = rows ? rows(int32_t(layout.width), int32_t(layout.height))
                                 : std::pair<int32_t, int32_t>(0, int32_t(layout.height));
        // For one scan, the 24-bit rows of a file are read while they are
        // scanned.
        if (rows && !whole) {
            auto* file = qobject_cast<QFile*>(&device);
            if (auto feed = BmpRowFeed::open(file ? file->handle() : -1, layout, head, first, end)) {
                Picture p;
                p.bitsPerPixel = declaredBitsPerPixel(head);
                p.firstRow = first;
                p.height = int32_t(layout.height);
                p.feed = std::move(feed);
                return p;
            }
        }
        try {
            QImage image = readBmpRows(device, whole, layout, head, first, end, threads);
            return {std::move(image), declaredBitsPerPixel(head), first, int32_t(layout.height), {}};
        } catch (const std::bad_alloc&) {
            throw PictureError(noMemory(name));
        } catch (const BmpReadError& e) {
            throw PictureError(QString("Cannot read picture \"%1\": %2").arg(name, e.what()).toStdString());
        }
    }

    // Qt refuses pictures above 256 MB unless told otherwise; within the
    // limits it may take what is free, and no more than the pixel limit
    // allows, for formats whose size shows only while they decode.
    qint64 allowed = budget;
    if (checkedProduct(maxPixels, 4, bytes))
        allowed = std::min(allowed, bytes + 1);
    QImageReader::setAllocationLimit(int(std::clamp<qint64>((allowed >> 20) + 1, 1, 1 << 30)));

    try {
        QImage image = reader->read();
        if (image.isNull() && (messages.outOfMemory || (pixels > 0 && !memoryFor(pixels * 4))))
            throw std::bad_alloc();
        if (!messages.damage.isEmpty())
            throw PictureError(damaged(name, QString("its data ends early or is corrupt (%1)").arg(messages.damage)));
        if (image.isNull()) {
            QString why = reader->errorString();
            if (!messages.notes.isEmpty())
                why += " (" + messages.notes.join("; ") + ")";
            throw PictureError(QString("Cannot read picture \"%1\": %2").arg(name, why).toStdString());
        }
        if (qint64(image.width()) * image.height() > maxPixels)
            throw PixelLimitError(QString("The picture \"%1\" has %2 x %3 pixels, more than the limit of %4 pixels.")
                                      .arg(name)
                                      .arg(image.width())
                                      .arg(image.height())
                                      .arg(maxPixels)
                                      .toStdString(),
                                  image.size(), maxPixels);
        // A picture read for one scan is scanned as Qt holds it when it is
        // opaque; only the window needs the scan's own pixel order.
        if (rows && image.format() == QImage::Format_RGB32)
            return {std::move(image), declaredBitsPerPixel(head), 0, -1, {}};
        return {toScanPixels(std::move(image)), declaredBitsPerPixel(head), 0, -1, {}};
    } catch (const std::bad_alloc&) {
        throw PictureError(noMemory(name));
    }
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
        if (!alpha) {
            // Opaque: only red and blue change places, a loop the compiler
            // turns into vector instructions.
            for (int x = 0; x < w; ++x) {
                const quint32 c = p[x];
                p[x] = 0xFF000000u | (c & 0x0000FF00u) | (c & 0xFFu) << 16 | ((c >> 16) & 0xFFu);
            }
            continue;
        }
        for (int x = 0; x < w; ++x) {
            const quint32 c = p[x];
            quint32 r = (c >> 16) & 0xFF, g = (c >> 8) & 0xFF, b = c & 0xFF;
            const quint32 a = c >> 24;
            const quint32 white = 255 * (255 - a);
            r = (r * a + white + 127) / 255;
            g = (g * a + white + 127) / 255;
            b = (b * a + white + 127) / 255;
            p[x] = 0xFF000000u | b << 16 | g << 8 | r;
        }
    }
    image.reinterpretAsFormat(QImage::Format_RGBX8888);
    return image;
}

int32_t Picture::width() const { return feed ? feed->width() : image.width(); }
int32_t Picture::fullHeight() const { return height < 0 ? image.height() : height; }
int32_t Picture::heldRows() const { return feed ? feed->endRow() - feed->firstRow() : image.height(); }

PixelView pixelView(const Picture& picture)
{
    if (picture.feed)
        return picture.feed->view();
    PixelView v = pixelView(picture.image);
    v.height = picture.fullHeight();
    v.firstRow = picture.firstRow;
    v.endRow = picture.firstRow + picture.image.height();
    return v;
}

PixelView pixelView(const QImage& img)
{
    PixelView v;
    v.width = img.width();
    v.height = img.height();
    if (img.format() == QImage::Format_RGB32)
        v.layout = PixelLayout::Bgrx32;
    v.stride = img.bytesPerLine() / 4;
    v.pixels = reinterpret_cast<const uint32_t*>(img.constBits());
    return v;
}

Picture loadPicture(const QString& path, qint64 maxPixels) { return loadPicture(path, maxPixels, nullptr); }

namespace {

// A pipe has no size and cannot go back, so it is read whole first, but no
// further than a picture of the size its header claims (or of `maxPixels`
// pixels, where the header does not tell) can take in any format, nor than
// the memory budget: an endless stream is refused, not read until the memory
// runs out.
QByteArray readStream(QFile& file, const QString& path, const QString& name, qint64 maxPixels, qint64 budget)
{
    constexpr qint64 kHead = 65536;
    QByteArray bytes;
    const bool whole = readAllBounded(file, kHead, bytes);
    qint64 limit = budget;
    QString claim;
    if (!whole) {
        QBuffer head(&bytes);
        head.open(QIODevice::ReadOnly);
        QImageReader reader(&head);
        DecodeMessages quiet; // the readers' chatter about a part of a file
        if (!reader.canRead())
            throw PictureError(QString("\"%1\" is not a picture that can be read.").arg(name).toStdString());
        const QSize size = reader.size();
        qint64 pixels = maxPixels;
        if (size.isValid()) {
            pixels = qint64(size.width()) * size.height();
            if (pixels > maxPixels)
                throw claimsTooMany(name, size, maxPixels);
            claim = QString(" that a picture of %1 x %2 pixels can take").arg(size.width()).arg(size.height());
        }
        // Plain-text PBM, PGM and PPM may spend any number of blanks and
        // comments on a pixel: only the memory bounds them.
        const bool plainText = bytes.size() > 1 && bytes[0] == 'P' && bytes[1] >= '1' && bytes[1] <= '3';
        qint64 bytesFor = 0;
        if (!plainText && checkedProduct(pixels, kMostFileBytesPerPixel, bytesFor) &&
            bytesFor + kMostFileHeaderBytes < limit)
            limit = bytesFor + kMostFileHeaderBytes;
        else
            claim.clear();
        if (!readAllBounded(file, limit, bytes)) {
            if (claim.isEmpty() && limit == budget)
                throw PictureError(QString("The picture from \"%1\" is larger than the %2 MB of memory that are free.")
                                       .arg(path)
                                       .arg(budget >> 20)
                                       .toStdString());
            throw PictureError(QString("The picture from \"%1\" goes on beyond the %2 MB%3; it is not read further.")
                                   .arg(path)
                                   .arg(limit >> 20)
                                   .arg(claim)
                                   .toStdString());
        }
    }
    return bytes;
}

} // namespace

Picture loadPicture(const QString& path, qint64 maxPixels, const RowChooser& rows, qint64 memoryBudget, int threads)
{
    const QString name = QFileInfo(path).fileName().isEmpty() ? path : QFileInfo(path).fileName();
    if (QFileInfo(path).isDir())
        throw PictureError(QString("\"%1\" is a folder, not a picture.").arg(path).toStdString());
    const qint64 budget = memoryBudget >= 0 ? memoryBudget : pictureMemoryBudget();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw PictureError(QString("Cannot open file \"%1\": %2").arg(path, file.errorString()).toStdString());
    if (!file.isSequential())
        return decode(file, name, maxPixels, nullptr, rows, budget, threads);
    const QByteArray bytes = readStream(file, path, name, maxPixels, budget);
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return decode(buffer, name, maxPixels, &bytes, rows, budget, threads);
}

bool holdsPicture(const QString& path)
{
    // A pipe or device is not opened: reading it would take what it holds.
    if (!QFileInfo(path).isFile())
        return false;
    if (pageFormat(path) != PageFormat::None)
        return true;
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    DecodeMessages quiet;
    return reader.canRead();
}

Picture pictureFromBytes(const QByteArray& bytes, const QString& name, qint64 maxPixels)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return decode(buffer, name, maxPixels, &bytes, nullptr, pictureMemoryBudget());
}

Picture pictureFromImage(const QImage& image)
{
    try {
        return {toScanPixels(image), depthOfImage(image), 0, -1, {}};
    } catch (const std::bad_alloc&) {
        throw PictureError("There is not enough memory for the picture.");
    }
}

} // namespace plotrun
