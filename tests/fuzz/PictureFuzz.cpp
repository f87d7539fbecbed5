// libFuzzer entry point: the picture loader on any bytes. Every input either
// loads or is refused with a PictureError; anything else is a finding, and
// the input that found it goes into corpus/.
#include "PictureFile.h"

#include <QByteArray>
#include <QCoreApplication>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // Qt finds its image format plugins through the application object.
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        // A small limit: a claimed size must not become a large allocation.
        const plotrun::Picture p = plotrun::pictureFromBytes(bytes, "input", 1 << 22);
        volatile uint32_t sink = plotrun::pixelView(p.image).colourAt(0, 0);
        (void)sink;
    } catch (const plotrun::PictureError&) {
    }
    return 0;
}
