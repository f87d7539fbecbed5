#pragma once
// The scanner run in the test process, as a user would run plotrun-scan:
// its exit code and what it wrote to standard output and standard error.

#include "BmpFile.h"
#include "ScanCommand.h"
#include "WorkedExample.h"

#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <vector>
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

// The first two numbers of each output line that holds them: the points.
struct Point {
    double x, y;
};

inline std::vector<Point> points(const std::string& text)
{
    std::vector<Point> out;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        Point p{};
        if (std::sscanf(line.c_str(), "%lf,%lf", &p.x, &p.y) == 2)
            out.push_back(p);
    }
    return out;
}

// Tests of scanner flags on the worked example's chart.
class WorkedExampleChart : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString chart()
    {
        const QString path = dir.filePath("chart.bmp");
        EXPECT_TRUE(writeFile(path, bmpBytes(640, 480, 24, workedExamplePixel, {})));
        return path;
    }
};

} // namespace plotrun::test
