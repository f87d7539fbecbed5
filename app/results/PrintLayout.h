#pragma once
// How the output text is laid out on printed pages: a line height from the
// font and the printer's resolution, a top margin of one line, and as many
// lines as fit below it.

#include <vector>

namespace plotrun {

// 1.4 x the font's height in printer pixels (rounded first), truncated.
int printLineHeight(double fontPoints, int dotsPerInchY);

// Lines that fit below the one-line top margin; at least one, so that a page
// too low for two lines still prints one line on each page.
int printLinesPerPage(int pageHeight, int lineHeight);

int printPageCount(int lines, int linesPerPage);

struct PrintedLine {
    int line;          // index into the output text
    int top;           // printer pixels from the printable area's top
    bool newPageFirst; // start a new page before this line
};

// The lines of pages first to last (from 1), each at its slot on its page.
std::vector<PrintedLine> printPlan(int lines, int linesPerPage, int lineHeight, int firstPage, int lastPage);

} // namespace plotrun
