#include "GuiTestSupport.h"

#include "../BmpFile.h"

namespace plotrun::test {

void writeBmp(const QString& path, int width, int height, const std::function<uint32_t(int, int)>& colourAt,
              int bitsPerPixel)
{
    QVERIFY(writeFile(path, bmpBytes(width, height, bitsPerPixel, colourAt, {0x000000, 0xFFFFFF})));
}

ScanSettings workedExampleSettings()
{
    ScanSettings s;
    s.OriginX = 50;
    s.OriginY = 40;
    s.RefX = 250;
    s.RealRefX = 10;
    s.HasRealRefX = true;
    s.RefY = 240;
    s.RealRefY = 100;
    s.HasRealRefY = true;
    s.ScanStartX = 60;
    s.ScanStartY = 50;
    s.ScanEndX = 63;
    s.ScanEndY = 200;
    s.Threshold = 128;
    return s;
}

} // namespace plotrun::test
