#pragma once
// Pages of PDF and SVG files, rendered on white paper at a chosen resolution
// into the same pictures that the picture loader gives: figures in papers
// are scanned from the page itself, not from a screenshot of it.

#include "PictureFile.h"

#include <QImage>
#include <QSize>
#include <QSizeF>
#include <QString>

#include <cstdint>
#include <memory>

namespace plotrun {

enum class PageFormat { None, Pdf, Svg };

// Whether `path` is a regular file that holds a PDF or SVG document, by its
// first bytes (an SVG file may also be told by its name).
PageFormat pageFormat(const QString& path);

// An opened PDF or SVG file. Opening refuses, with a PictureError whose
// message names the file, a file that is empty, damaged (cut short, not well
// formed, unreadable by the renderer), encrypted, or without a page.
class PageFile {
public:
    explicit PageFile(const QString& path);
    ~PageFile();
    PageFile(const PageFile&) = delete;
    PageFile& operator=(const PageFile&) = delete;

    PageFormat format() const;
    // An SVG file is one page.
    int pageCount() const;
    // The page that a request for `page` gets: an SVG drawing is its one page
    // whichever page is asked, as a picture is, so that one page number
    // serves a batch of PDF and SVG files.
    int servedPage(int page) const { return format() == PageFormat::Svg ? 1 : page; }
    // A page's size in inches; pages count from 1.
    QSizeF inches(int page) const;
    // The size in pixels of a page rendered at `dpi` dots per inch.
    QSize pixels(int page, int32_t dpi) const;
    // The greatest resolution at which the page takes at most `pixels`
    // pixels; 0 when not even 1 dpi does.
    int32_t mostDpiFor(int page, qint64 pixels) const;

    // The page on white paper, as the scan reads it. Throws PictureError for
    // a page out of range or one that cannot be rendered, and PixelLimitError,
    // saying which resolution would fit, for a page of more than `maxPixels`
    // pixels; a page too large for `memoryBudget` bytes (-1: what is free) is
    // refused the same way.
    Picture render(int page, int32_t dpi, qint64 maxPixels = kDefaultMaxPixels, qint64 memoryBudget = -1) const;

    // A small picture of a page, whose longer side is `longSide` pixels.
    QImage thumbnail(int page, int longSide) const;

    // "chart.pdf, page 2 at 300 dpi": how the window names the picture.
    static QString pictureName(const QString& fileName, PageFormat format, int page, int32_t dpi);

private:
    struct Document;
    // The page drawn over `size` pixels; transparent where a PDF page leaves
    // the paper bare (toScanPixels lays that over white).
    QImage renderedAt(int page, QSize size) const;

    std::unique_ptr<Document> d_;
    QString name_;
};

// Opens the file and renders its served page: the loader's counterpart for
// PDF and SVG files.
Picture loadPage(const QString& path, int page, int32_t dpi, qint64 maxPixels = kDefaultMaxPixels,
                 qint64 memoryBudget = -1);

} // namespace plotrun
