#include "BmpRows.h"

#include "../scan/Threads.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <new>
#include <string>
#include <system_error>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace plotrun {

namespace {

uint32_t byteAt(const QByteArray& b, qint64 at) { return uint8_t(b.constData()[at]); }
uint32_t le16(const QByteArray& b, qint64 at) { return byteAt(b, at) | byteAt(b, at + 1) << 8; }
uint32_t le32(const QByteArray& b, qint64 at) { return le16(b, at) | le16(b, at + 2) << 16; }

// A scan pixel: red in the low byte, the top byte set, as the conversion
// of Qt's 32-bit pixels leaves it.
inline uint32_t scanPixel(uint32_t r, uint32_t g, uint32_t b) { return 0xFF000000u | b << 16 | g << 8 | r; }

using Palette = std::array<uint32_t, 256>;

// One file row into one row of scan pixels.
void convertRow(const uint8_t* in, uint32_t* out, int64_t width, int bits, const Palette& palette)
{
    switch (bits) {
    case 24:
        for (int64_t x = 0; x < width; ++x, in += 3)
            out[x] = scanPixel(in[2], in[1], in[0]);
        break;
    case 32:
        // Qt's reader takes no alpha from plain 32-bit rows.
        for (int64_t x = 0; x < width; ++x, in += 4)
            out[x] = scanPixel(in[2], in[1], in[0]);
        break;
    case 16:
        // Five bits a channel; Qt's reader widens them by shifting left.
        for (int64_t x = 0; x < width; ++x, in += 2) {
            const uint32_t c = in[0] | uint32_t(in[1]) << 8;
            out[x] = scanPixel((c >> 10 & 0x1F) << 3, (c >> 5 & 0x1F) << 3, (c & 0x1F) << 3);
        }
        break;
    case 8:
        for (int64_t x = 0; x < width; ++x)
            out[x] = palette[in[x]];
        break;
    case 4:
        for (int64_t x = 0; x < width; ++x)
            out[x] = palette[(in[x / 2] >> (x % 2 ? 0 : 4)) & 0x0F];
        break;
    case 1:
        for (int64_t x = 0; x < width; ++x)
            out[x] = palette[(in[x / 8] >> (7 - x % 8)) & 1];
        break;
    }
}

// Reads `n` bytes at `offset` of the file; false when the file ends first.
class RowSource {
public:
    RowSource(QIODevice& device, const QByteArray* whole) : device_(device), whole_(whole)
    {
        if (auto* file = qobject_cast<QFile*>(&device))
            fd_ = file->handle();
    }

    // Several threads may read at once through pread; a device without a
    // descriptor is read by one thread.
    bool parallel() const { return whole_ || fd_ >= 0; }

    bool read(qint64 offset, char* into, qint64 n)
    {
        if (whole_) {
            if (offset + n > whole_->size())
                return false;
            std::memcpy(into, whole_->constData() + offset, size_t(n));
            return true;
        }
        if (fd_ >= 0) {
            while (n > 0) {
                const ssize_t got = ::pread(fd_, into, size_t(n), off_t(offset));
                if (got < 0 && errno == EINTR)
                    continue;
                if (got <= 0)
                    return false;
                into += got;
                offset += got;
                n -= got;
            }
            return true;
        }
        return device_.seek(offset) && device_.read(into, n) == n;
    }

private:
    QIODevice& device_;
    const QByteArray* whole_;
    int fd_ = -1;
};

// Large pictures are read by a few threads, each a band of rows.
constexpr qint64 kBytesPerThread = qint64(48) << 20;
// Rows are read a few hundred kilobytes at a time.
constexpr qint64 kChunkBytes = qint64(256) << 10;

} // namespace

bool readsBmpRowsDirectly(const BmpLayout& f, const QByteArray& head)
{
    if (!f.problem.isEmpty() || f.compression != 0 || head.size() < 54)
        return false;
    const uint32_t headerSize = le32(head, 14);
    const int n = f.bits;
    // The larger headers carry colour masks that Qt's reader may apply to
    // 16- and 32-bit rows.
    const bool known = headerSize == 40
                           ? (n == 1 || n == 4 || n == 8 || n == 16 || n == 24 || n == 32)
                           : (headerSize == 108 || headerSize == 124) && (n == 1 || n == 4 || n == 8 || n == 24);
    if (!known)
        return false;
    if (n <= 8) {
        // A short colour table leaves indices without a colour, which Qt's
        // conversions fill in differently by depth.
        const uint32_t colours = le32(head, 46);
        if ((colours != 0 && colours != (1u << n)) || f.tablesEnd > head.size())
            return false;
    }
    return true;
}

QImage readBmpRows(QIODevice& device, const QByteArray* whole, const BmpLayout& f, const QByteArray& head,
                   int32_t& first, int32_t end, int threadLimit)
{
    const int64_t width = f.width, height = f.height;
    first = int32_t(std::clamp<int64_t>(first, 0, height - 1));
    end = int32_t(std::clamp<int64_t>(end, first + 1, height));
    const bool topDown = int32_t(le32(head, 22)) < 0;
    const qint64 rowBytes = (width * f.bits + 31) / 32 * 4;

    Palette palette{};
    if (f.bits <= 8) {
        const qint64 table = 14 + le32(head, 14);
        for (int i = 0; i < (1 << f.bits); ++i)
            palette[size_t(i)] = scanPixel(byteAt(head, table + 4 * i + 2), byteAt(head, table + 4 * i + 1),
                                           byteAt(head, table + 4 * i));
    }

    QImage image(int(width), end - first, QImage::Format_RGBX8888);
    if (image.isNull())
        throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    // Fewer page faults while a large picture is filled for the first time.
    const long page = 2 << 20;
    const auto begin = (reinterpret_cast<uintptr_t>(image.bits()) + page - 1) / page * page;
    const auto stop = (reinterpret_cast<uintptr_t>(image.bits()) + image.sizeInBytes()) / page * page;
    if (stop > begin)
        madvise(reinterpret_cast<void*>(begin), stop - begin, MADV_HUGEPAGE);
#endif

    // Row pointers come from one call: scanLine() would touch the image's
    // shared state from every thread.
    uchar* const bits = image.bits();
    const qsizetype bytesPerLine = image.bytesPerLine();
    RowSource source(device, whole);
    // Picture row r is file row r of a top-down file, else height - 1 - r.
    const auto readBand = [&](int32_t bandFirst, int32_t bandEnd, std::vector<char>& buffer) {
        const qint64 chunkRows = std::max<qint64>(1, kChunkBytes / rowBytes);
        buffer.resize(size_t(chunkRows * rowBytes));
        for (int32_t r = bandFirst; r < bandEnd;) {
            const int32_t rows = int32_t(std::min<qint64>(chunkRows, bandEnd - r));
            // The chunk's rows lie one after the other in the file, in one
            // order or the other.
            const qint64 firstFileRow = topDown ? r : height - r - rows;
            if (!source.read(f.pixelOffset + firstFileRow * rowBytes, buffer.data(), rows * rowBytes))
                return false;
            for (int32_t i = 0; i < rows; ++i) {
                const qint64 inChunk = topDown ? i : rows - 1 - i;
                convertRow(reinterpret_cast<const uint8_t*>(buffer.data()) + inChunk * rowBytes,
                           reinterpret_cast<uint32_t*>(bits + (r + i - first) * bytesPerLine), width, f.bits, palette);
            }
            r += rows;
        }
        return true;
    };

    const qint64 bytes = rowBytes * (end - first);
    const int threads =
        source.parallel() ? int(std::clamp<qint64>(bytes / kBytesPerThread, 1, threadsPerPicture(threadLimit))) : 1;
    std::atomic<bool> ok = true;
    const int32_t per = (end - first + threads - 1) / threads;
    runShares(threads, [&](int t) { // out of memory is thrown again here
        const int32_t a = first + t * per, b = std::min(end, a + per);
        std::vector<char> buffer;
        if (a < b && !readBand(a, b, buffer))
            ok = false;
    });
    if (!ok)
        throw BmpReadError("the file ended while its rows were read");
    return image;
}

std::shared_ptr<const BmpRowFeed> BmpRowFeed::open(int fd, const BmpLayout& f, const QByteArray& head, int32_t& first,
                                                   int32_t end)
{
    struct stat file {};
    if (fd < 0 || f.bits != 24 || !readsBmpRowsDirectly(f, head) || fstat(fd, &file) != 0 || !S_ISREG(file.st_mode))
        return nullptr;
    std::shared_ptr<BmpRowFeed> feed(new BmpRowFeed);
    feed->fd_ = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (feed->fd_ < 0)
        return nullptr;
    feed->width_ = int32_t(f.width);
    feed->height_ = int32_t(f.height);
    feed->first_ = first = int32_t(std::clamp<int64_t>(first, 0, f.height - 1));
    feed->end_ = int32_t(std::clamp<int64_t>(end, first + 1, f.height));
    feed->topDown_ = int32_t(le32(head, 22)) < 0;
    feed->pixelOffset_ = f.pixelOffset;
    feed->rowBytes_ = (f.width * 24 + 31) / 32 * 4;
    posix_fadvise(feed->fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    return feed;
}

BmpRowFeed::~BmpRowFeed() { ::close(fd_); }

PixelView BmpRowFeed::view() const
{
    PixelView v;
    v.width = width_;
    v.height = height_;
    v.layout = PixelLayout::Bgr24;
    v.firstRow = first_;
    v.endRow = first_; // holds none; they are read through the feed
    v.feed = this;
    return v;
}

PixelView BmpRowFeed::rows(int32_t first, int32_t end, std::vector<uint8_t>& buffer) const
{
    if (first < first_ || first >= end_)
        throw BmpReadError("a row was asked for that is not read");
    const int32_t n = int32_t(std::clamp<qint64>(kChunkBytes / rowBytes_, 1, std::min(end, end_) - first));
    buffer.resize(size_t(n * rowBytes_));
    // The rows lie one after the other in the file, in one order or the other.
    const qint64 firstFileRow = topDown_ ? first : height_ - first - n;
    char* into = reinterpret_cast<char*>(buffer.data());
    qint64 offset = pixelOffset_ + firstFileRow * rowBytes_;
    for (qint64 left = n * rowBytes_; left > 0;) {
        const ssize_t got = ::pread(fd_, into, size_t(left), off_t(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw BmpReadError(std::error_code(errno, std::generic_category()).message());
        if (got == 0)
            throw BmpReadError("the file was cut short while it was read");
        into += got;
        offset += got;
        left -= got;
    }
    PixelView v;
    v.width = width_;
    v.height = height_;
    v.layout = PixelLayout::Bgr24;
    v.firstRow = first;
    v.endRow = first + n;
    v.rowBytes = topDown_ ? rowBytes_ : -rowBytes_;
    v.bytes = buffer.data() + (topDown_ ? 0 : (n - 1) * rowBytes_);
    return v;
}

} // namespace plotrun
