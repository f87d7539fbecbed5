#pragma once
// Uncompressed BMP rows read straight from the file into scan pixels: no
// decoder and no conversion pass in between, and only the rows that are
// wanted. The pixels are the same, bit for bit, as those of Qt's reader
// followed by the conversion to scan pixels.

#include "PictureStructure.h"

#include <QByteArray>
#include <QImage>
#include <QIODevice>

#include <cstdint>
#include <stdexcept>

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
// must have passed bmpRowsProblem.
QImage readBmpRows(QIODevice& device, const QByteArray* whole, const BmpLayout& layout, const QByteArray& head,
                   int32_t& first, int32_t end);

} // namespace plotrun
