// libFuzzer entry point: the PDF and SVG page loader on any bytes. Every
// input either renders or is refused with a PictureError; anything else is a
// finding, and the input that found it goes into corpus-page/.
#include "PageFile.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include <cstddef>
#include <cstdint>

namespace {

QString inputPath;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // The text of a drawing needs fonts, and fonts a platform.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    inputPath = QDir::temp().filePath(QString("plotrun-page-fuzz-%1").arg(QCoreApplication::applicationPid()));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The loader reads files; the first byte's lowest bit names the input a
    // PDF or an SVG file for those that their contents do not tell.
    const QString path = inputPath + (size > 0 && (data[0] & 1) ? ".pdf" : ".svg");
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    try {
        const plotrun::PageFile pages(path);
        for (int page = 1; page <= std::min(pages.pageCount(), 2); ++page) {
            // A small limit: a claimed page size must not become a large allocation.
            const plotrun::Picture p = pages.render(page, 36, 1 << 20);
            volatile uint32_t sink = plotrun::pixelView(p.image).colourAt(0, 0);
            (void)sink;
        }
    } catch (const plotrun::PictureError&) {
    }
    QFile::remove(path);
    return 0;
}
