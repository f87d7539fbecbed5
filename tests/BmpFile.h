#pragma once
// Writes BMP files of every common depth for the tests, pixel by pixel.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

namespace plotrun::test {

// colourAt(x, row) gives 0x00RRGGBB; for depths with a palette the colours
// must be among `palette`.
QByteArray bmpBytes(int width, int height, int bitsPerPixel, const std::function<uint32_t(int, int)>& colourAt,
                    const std::vector<uint32_t>& palette = {});

// The same picture stored top-down: a negative height, rows in reading order.
QByteArray topDown(const QByteArray& bottomUp, int width, int height, int bpp);

bool writeFile(const QString& path, const QByteArray& bytes);

} // namespace plotrun::test
