#pragma once
// Uncompressed BMP rows read straight from the file into scan pixels: no
// decoder and no conversion pass in between, and only the rows that are
// wanted. The pixels are the same, bit for bit, as those of Qt's reader
// followed by the conversion to scan pixels.

#include "PictureStructure.h"

#include "../scan/PixelView.h"
#include "../scan/Threads.h"

#include <QByteArray>
#include <QImage>
#include <QIODevice>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

namespace plotrun {

// The file could not be read while its rows were.
class BmpReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Whether the rows of this file are read here. `head` holds the file's first
// bytes, its headers and colour table among them. Files with bit fields, short
// colour tables or the rarer header forms are left to Qt's reader.
bool readsBmpRowsDirectly(const BmpLayout& layout, const QByteArray& head);

// Reads the picture rows from `first` up to `end` (not included), counted
// from the top, into a Format_RGBX8888 image of those rows (at least one).
// `whole` is the file's bytes when they are in memory, else null. The layout
// must have passed bmpRowsProblem. A large picture is read by up to `threads`
// threads (see threadsPerPicture).
QImage readBmpRows(QIODevice& device, const QByteArray* whole, const BmpLayout& layout, const QByteArray& head,
                   int32_t& first, int32_t end, int threads = kMostThreadsPerPicture);

// The rows of an uncompressed 24-bit BMP file, read from the file a few at a
// time while the scan reads them: no copy of the picture, no conversion, and
// only the rows that are wanted, each read once.
class BmpRowFeed : public RowFeed {
public:
    // A feed of picture rows [first, end) (counted from the top, clamped as by
    // readBmpRows) of the open file `fd`, which it reads through a descriptor
    // of its own; null when the layout is not one that is fed, or the file
    // cannot be read at will (a pipe, say).
    static std::shared_ptr<const BmpRowFeed> open(int fd, const BmpLayout& layout, const QByteArray& head,
                                                  int32_t& first, int32_t end);
    ~BmpRowFeed() override;
    BmpRowFeed(const BmpRowFeed&) = delete;
    BmpRowFeed& operator=(const BmpRowFeed&) = delete;

    int32_t width() const { return width_; }
    int32_t firstRow() const { return first_; }
    int32_t endRow() const { return end_; }
    // The picture, its rows to be read through this feed.
    PixelView view() const;
    // Throws BmpReadError when the file was cut short since it was opened.
    PixelView rows(int32_t first, int32_t end, std::vector<uint8_t>& buffer) const override;

private:
    BmpRowFeed() = default;
    int fd_ = -1;
    bool topDown_ = false;
    qint64 pixelOffset_ = 0;
    qint64 rowBytes_ = 0;
    int32_t width_ = 0, height_ = 0, first_ = 0, end_ = 0;
};

} // namespace plotrun
