#include "OutputPrinter.h"

#include "PrintLayout.h"

#include <QPainter>
#include <QPrinter>

#include <stdexcept>

namespace plotrun {

namespace {

struct PageGeometry {
    int lineHeight;
    int linesPerPage;
};

PageGeometry pageGeometry(QPrinter& printer, const QFont& font)
{
    const double points = font.pointSizeF() > 0 ? font.pointSizeF() : font.pixelSize() * 0.75;
    const int dpi = printer.resolution();
    const int h = printLineHeight(points, dpi);
    const int pageHeight = printer.pageLayout().paintRectPixels(dpi).height();
    return {h, printLinesPerPage(pageHeight, h)};
}

} // namespace

int printedPageCount(QPrinter& printer, const QFont& font, size_t lines)
{
    return printPageCount(int(lines), pageGeometry(printer, font).linesPerPage);
}

void offerWholeDocument(QPrinter& printer, int pageCount)
{
    printer.setPrintRange(QPrinter::AllPages);
    printer.setFromTo(1, pageCount);
}

bool printOutput(QPrinter& printer, const QFont& font, const std::vector<std::string>& lines,
                 const PrintPagesChooser& choosePages)
{
    const PageGeometry page = pageGeometry(printer, font);
    const int pages = printPageCount(int(lines.size()), page.linesPerPage);
    offerWholeDocument(printer, pages);
    if (!choosePages(printer, pages))
        return false;
    int first = 1, last = pages;
    if (printer.printRange() == QPrinter::PageRange) {
        first = std::max(1, printer.fromPage());
        last = std::min(pages, printer.toPage() > 0 ? printer.toPage() : pages);
    }

    QPainter painter;
    if (!painter.begin(&printer))
        throw std::runtime_error("The printer could not be started");
    painter.setFont(QFont(font, &printer));
    const int ascent = painter.fontMetrics().ascent();
    for (const PrintedLine& p : printPlan(int(lines.size()), page.linesPerPage, page.lineHeight, first, last)) {
        if (p.newPageFirst && !printer.newPage())
            throw std::runtime_error("The printer could not start a new page");
        painter.drawText(0, p.top + ascent, QString::fromStdString(lines[size_t(p.line)]));
    }
    painter.end();
    return true;
}

} // namespace plotrun
