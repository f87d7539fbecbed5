#pragma once
// Pictures from files and the clipboard, turned into the 32-bit pixels that
// the scan reads.

#include "../scan/PixelView.h"

#include <QImage>
#include <QString>

#include <stdexcept>

namespace plotrun {

// A picture that cannot be read or used; the message is for the user.
class PictureError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Picture {
    QImage image;             // Format_RGBX8888: red in the low byte of each pixel
    QString bitsPerPixel;     // the colour depth that the source declares, or "-"
};

// Reads a picture file in any format that Qt reads. Throws PictureError with
// a clear message for a file that is missing, damaged, not a picture, or too
// large for the memory that is free.
Picture loadPicture(const QString& path);

// A picture from elsewhere (the clipboard), converted the same way.
Picture pictureFromImage(const QImage& image);

// The colour depth a file declares in its header: BMP, PNG, JPEG and GIF are
// understood; "-" for anything else.
QString declaredBitsPerPixel(const QByteArray& head);

// Converts to Format_RGBX8888, in place where the format allows it, laying
// any transparency over white.
QImage toScanPixels(QImage image);

PixelView pixelView(const QImage& scanPixels);

// The memory that can be spent on a picture, in bytes.
qint64 pictureMemoryBudget();

} // namespace plotrun
