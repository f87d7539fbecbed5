#pragma once
// Several pictures, each to its own file in the output folder, N at a time.

#include "ScanFlags.h"

#include <ostream>

namespace plotrun {

// The pictures share nothing: each is loaded, judged, scanned and written on
// its own, and a failure skips only that picture. The exit code of the batch.
int runBatch(const Options& o, std::ostream& err, bool errIsTerminal);

} // namespace plotrun
