#pragma once
// The scanner run in the test process, as a user would run plotrun-scan:
// its exit code and what it wrote to standard output and standard error.

#include "ScanCommand.h"

#include <QStringList>

#include <sstream>
#include <string>

namespace plotrun::test {

struct ScanRun {
    int code = -1;
    std::string out;
    std::string err;
};

inline ScanRun scanner(const QStringList& args, bool terminal = false)
{
    std::ostringstream out, err;
    ScanRun r;
    r.code = runScanCommand(args, out, err, terminal);
    r.out = out.str();
    r.err = err.str();
    return r;
}

// The worked example's settings as flags, with the header and column names.
inline const QStringList kWorkedExampleArgs{
    "--origin", "50,40",     "--ref",    "250,240",        "--real-ref",          "10,100", "--area", "60,50,63,200",
    "--fields", "real,sdev", "--header", "--column-names", "--decimal-separator", "."};

} // namespace plotrun::test
