#include "GuiTestSupport.h"

#include "../BmpFile.h"

namespace plotrun::test {

void writeBmp(const QString& path, int width, int height, const std::function<uint32_t(int, int)>& colourAt,
              int bitsPerPixel)
{
    QVERIFY(writeFile(path, bmpBytes(width, height, bitsPerPixel, colourAt, {0x000000, 0xFFFFFF})));
}

} // namespace plotrun::test
