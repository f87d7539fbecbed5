#pragma once
// What the headers of BMP and GIF files say, and whether all of their pixels
// are in the file. Qt's readers fill a missing part of these pictures with
// whatever the memory held, or with a background, and report success; the
// loader asks here first.

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <cstdint>

namespace plotrun {

// Whether `a` × `b` fits in 64 bits; the product goes to `out`. Both must be
// zero or positive.
bool checkedProduct(qint64 a, qint64 b, qint64& out);

// A BMP file's layout as its headers tell it.
struct BmpLayout {
    qint64 width = 0;
    qint64 height = 0;        // always positive; top-down files too
    int bits = 0;             // bits per pixel
    uint32_t compression = 0; // 0 none, 1 RLE8, 2 RLE4, 3 and 6 bit fields
    qint64 pixelOffset = 0;   // where the file header says the pixels start
    qint64 tablesEnd = 0;     // the end of the headers, colour masks and colour table
    QString problem;          // why the file cannot be read; empty when it can
};

// Reads the layout from the first bytes of a file that starts with "BM".
BmpLayout bmpLayout(const QByteArray& head);

// Whether an uncompressed BMP holds every pixel row, and its tables end
// before its pixels. Only the file's size is needed.
QString bmpRowsProblem(const BmpLayout& layout, qint64 fileSize);

// Whether an RLE4 or RLE8 stream gives every pixel a value. `file` is the
// whole file.
QString bmpRunsProblem(const BmpLayout& layout, const QByteArray& file);

// Whether the first picture of a GIF file is all in the file: its compressed
// data yields a value for every one of its pixels. `file` is the whole file.
QString gifProblem(const QByteArray& file);

// Whether a PNG file's chunks are all in the file, up to its end chunk.
// libpng reports a file cut short on standard error, in a line that names no
// file; the loader refuses such a file before Qt's reader sees it. `device`
// can seek; its position is kept.
QString pngChunksProblem(QIODevice& device);

// Whether a JPEG file's segments and scans are all in the file, up to its
// end marker. A progressive JPEG cut between two scans decodes without a
// word from the reader, as a blurred picture; a file that ends before its
// end marker is refused here. `device` can seek; its position is kept.
QString jpegMarkersProblem(QIODevice& device);

} // namespace plotrun
