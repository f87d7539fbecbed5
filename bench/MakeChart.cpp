// plotrun-make-chart W H FILE: writes a 24-bit BMP of three anti-aliased
// curves, for measuring the scanner on large pictures.
#include "ChartPicture.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: plotrun-make-chart WIDTH HEIGHT FILE.bmp\n");
        return 2;
    }
    const int w = std::atoi(argv[1]), h = std::atoi(argv[2]);
    const std::vector<uint32_t> px = plotrun::bench::drawCurves(w, h);
    FILE* f = std::fopen(argv[3], "wb");
    if (!f)
        return 1;
    const unsigned rowBytes = (unsigned(w) * 3 + 3) / 4 * 4;
    const unsigned long long size = 54ull + 1ull * rowBytes * h;
    unsigned char hd[54] = {'B', 'M'};
    const auto put = [&hd](int at, unsigned long long v, int n) {
        for (int i = 0; i < n; ++i)
            hd[at + i] = (v >> (8 * i)) & 0xFF;
    };
    put(2, size, 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, unsigned(w), 4);
    put(22, unsigned(h), 4);
    put(26, 1, 2);
    put(28, 24, 2);
    std::fwrite(hd, 1, 54, f);
    std::vector<unsigned char> line(rowBytes, 0);
    for (int row = h - 1; row >= 0; --row) {
        for (int x = 0; x < w; ++x) {
            const uint32_t p = px[size_t(row) * w + x];
            line[x * 3] = (p >> 16) & 0xFF;    // blue
            line[x * 3 + 1] = (p >> 8) & 0xFF; // green
            line[x * 3 + 2] = p & 0xFF;        // red
        }
        std::fwrite(line.data(), 1, rowBytes, f);
    }
    return std::fclose(f) == 0 ? 0 : 1;
}
