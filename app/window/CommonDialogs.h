#pragma once
// The common dialogs that the window's commands open, as functions: tests
// answer them in place of a user. An empty function means the real dialog.

#include "ScanOptions.h"

#include <QString>

#include <functional>
#include <optional>
#include <utility>

class QPrinter;

namespace plotrun {

class PageFile;

struct CommonDialogs {
    std::function<QString()> openFile;
    std::function<QString()> saveFile;
    // Shows the print dialog for pages 1 to pageCount; false when cancelled.
    std::function<bool(QPrinter&, int pageCount)> printPages;
    std::function<QString()> openSettingsFile;
    std::function<QString()> saveSettingsFile;
    // Asks the page of a PDF or SVG file and its resolution; none when cancelled.
    std::function<std::optional<PageChoice>(const PageFile&, const QString& fileName)> choosePage;
    // The real x and y of a reference point clicked at (x, y); nothing when
    // cancelled.
    std::function<std::optional<std::pair<double, double>>(double x, double y)> pointValues;
};

} // namespace plotrun
