#pragma once
// Printing the output text: the page count from the font and the printer,
// the print dialog for pages 1 to N, then the chosen pages line by line.

#include <QFont>

#include <functional>
#include <string>
#include <vector>

class QPrinter;

namespace plotrun {

// Shows the print dialog for pages 1 to pageCount; false when cancelled.
using PrintPagesChooser = std::function<bool(QPrinter&, int pageCount)>;

// The page count of the text in the font on the printer.
int printedPageCount(QPrinter& printer, const QFont& font, size_t lines);

// Offers the whole document: all pages chosen, pages 1 to pageCount in the
// range boxes, whatever the last print chose.
void offerWholeDocument(QPrinter& printer, int pageCount);

// Prints the lines; false when the dialog was cancelled. Throws when the
// printer fails.
bool printOutput(QPrinter& printer, const QFont& font, const std::vector<std::string>& lines,
                 const PrintPagesChooser& choosePages);

} // namespace plotrun
