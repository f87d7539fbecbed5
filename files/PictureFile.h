#pragma once
// Pictures from files and the clipboard, turned into the 32-bit pixels that
// the scan reads.

#include "../scan/PixelView.h"
#include "../scan/Threads.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>
#include <stdexcept>
#include <utility>

namespace plotrun {

// The most pixels a picture may claim, unless the caller says otherwise. A
// tiny file can claim a picture that takes most of the machine's memory.
constexpr qint64 kDefaultMaxPixels = 1'000'000'000;

// A picture that cannot be read or used; the message is for the user.
class PictureError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A picture that claims more pixels than the limit; refused before decoding.
class PixelLimitError : public PictureError {
public:
    PixelLimitError(const std::string& message, QSize size, qint64 limit)
        : PictureError(message), size(size), limit(limit)
    {
    }
    QSize size;
    qint64 limit;
};

class BmpRowFeed;

struct Picture {
    // Format_RGBX8888: red in the low byte of each pixel; or, in a picture read
    // for one scan, Format_RGB32 as Qt reads an opaque picture.
    QImage image;
    QString bitsPerPixel; // the colour depth that the source declares, or "-"
    // A picture read for one scan may hold only the rows that the scan reads:
    // `image` then holds the rows from firstRow on of a picture `height` rows
    // high. -1: all rows are held.
    int32_t firstRow = 0;
    int32_t height = -1;
    // A 24-bit BMP file read for one scan may instead be read while it is
    // scanned, through a feed; `image` is then null.
    std::shared_ptr<const BmpRowFeed> feed;

    int32_t width() const;
    int32_t fullHeight() const;
    // The number of rows held or fed, from firstRow on.
    int32_t heldRows() const;
};

// Which rows of a picture of width x height are wanted, counted from the top;
// asked once the size is known, before the pixels are read.
using RowChooser = std::function<std::pair<int32_t, int32_t>(int32_t width, int32_t height)>;

// Reads a picture file in any format that Qt reads. Throws PictureError with
// a clear message for a file that is missing, damaged (not all of its pixels
// are in the file), not a picture, or too large for the memory that is free,
// and PixelLimitError for one that claims more than `maxPixels` pixels. A pipe
// or other stream is read whole first, as far as a picture of the size its
// header claims can reach.
Picture loadPicture(const QString& path, qint64 maxPixels = kDefaultMaxPixels);
// The same for one scan, holding only the rows that `rows` asks for where
// the format allows it (uncompressed BMP, read straight into scan pixels or
// while they are scanned); other pictures are held whole. `memoryBudget` is
// the memory this picture may take, in bytes; -1: what is free
// (pictureMemoryBudget). Pictures loaded at the same time share the memory,
// and the cores: `threads` is the most threads this one may read with.
Picture loadPicture(const QString& path, qint64 maxPixels, const RowChooser& rows, qint64 memoryBudget = -1,
                    int threads = kMostThreadsPerPicture);

// The same for a picture held in memory; `name` is for the messages.
Picture pictureFromBytes(const QByteArray& bytes, const QString& name, qint64 maxPixels = kDefaultMaxPixels);

// A picture from elsewhere (the clipboard), converted the same way.
Picture pictureFromImage(const QImage& image);

// The colour depth a file declares in its header: BMP, PNG, JPEG and GIF are
// understood; "-" for anything else.
QString declaredBitsPerPixel(const QByteArray& head);

// Converts to Format_RGBX8888, in place where the format allows it, laying
// any transparency over white.
QImage toScanPixels(QImage image);

PixelView pixelView(const QImage& scanPixels);
// The view of a picture that may hold only some of its rows.
PixelView pixelView(const Picture& picture);

// Whether `path` is a regular file whose contents are a picture that Qt
// reads, or a PDF or SVG file: a file that settings or output must never be
// written over.
bool holdsPicture(const QString& path);

// The memory that can be spent on a picture, in bytes.
qint64 pictureMemoryBudget();

} // namespace plotrun
