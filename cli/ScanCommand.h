#pragma once
// plotrun-scan: a picture and its settings in, the output text out.

#include <QStringList>

#include <ostream>

namespace plotrun {

// Exit codes of the scanner.
// kScanNotFinite: a result is not a finite number, and nothing is written.
enum ScanExit { kScanDone = 0, kScanFileError = 1, kScanUsage = 2, kScanAborted = 3, kScanNotFinite = 4 };

// Runs the scanner with its arguments (without the program name). The
// output text goes to `out` unless -o or -O names a file; messages go to
// `err`. A batch shows its progress line only when `err` is a terminal.
int runScanCommand(const QStringList& args, std::ostream& out, std::ostream& err, bool errIsTerminal = false);

} // namespace plotrun
