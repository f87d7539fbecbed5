#include "PrintLayout.h"

#include <algorithm>
#include <cmath>

namespace plotrun {

int printLineHeight(double fontPoints, int dotsPerInchY)
{
    const double pixels = std::round(fontPoints * dotsPerInchY / 72.0); // halves away from zero
    return std::max(1, static_cast<int>(1.4 * std::fabs(pixels)));
}

int printLinesPerPage(int pageHeight, int lineHeight) { return std::max(1, pageHeight / std::max(1, lineHeight) - 1); }

int printPageCount(int lines, int linesPerPage) { return (lines + linesPerPage - 1) / linesPerPage; }

std::vector<PrintedLine> printPlan(int lines, int perPage, int lineHeight, int firstPage, int lastPage)
{
    std::vector<PrintedLine> plan;
    const int begin = (firstPage - 1) * perPage;
    const int end = std::min(lastPage * perPage, lines);
    for (int i = begin; i < end; ++i) {
        const int slot = (i - begin) % perPage + 1;
        plan.push_back({i, slot * lineHeight, slot == 1 && i != begin});
    }
    return plan;
}

} // namespace plotrun
