#pragma once
// Writes the picture forms that the loader must check, byte by byte: GIF,
// run-length BMP and the OS/2 core BMP.

#include <QByteArray>

#include <cstdint>
#include <functional>
#include <vector>

namespace plotrun::test {

// indexAt(x, row) gives a palette index; `palette` holds 0x00RRGGBB colours.
using IndexAt = std::function<int(int, int)>;

// A GIF whose LZW data is written with 9-bit codes, clearing the table often.
QByteArray gifBytes(int width, int height, const IndexAt& indexAt, const std::vector<uint32_t>& palette);

// The run-length stream of a picture, every row in full runs, ended by an
// end-of-picture code. bits is 4 or 8.
QByteArray runLengthRows(int width, int height, int bits, const IndexAt& indexAt);

// A BMP with a 40-byte header around a run-length stream (compression 1 for
// 8 bits, 2 for 4 bits).
QByteArray runLengthBmp(int width, int height, int bits, const QByteArray& stream,
                        const std::vector<uint32_t>& palette);

// An 8-bit BMP with the 12-byte core header and 3-byte palette entries.
QByteArray coreHeaderBmp(int width, int height, const IndexAt& indexAt, const std::vector<uint32_t>& palette);

} // namespace plotrun::test
