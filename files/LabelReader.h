#pragma once
// Reads the numbers beside an axis's ticks with Tesseract, on this machine,
// restricted to what numbers are written with. One reader holds one
// Tesseract engine, which is not to be shared between threads: make one for
// each Find Axes run.

#include "../scan/AxisFinder.h"

#include <memory>
#include <string>

namespace tesseract {
class TessBaseAPI;
}

namespace plotrun {

class LabelReader {
public:
    LabelReader();
    ~LabelReader();
    LabelReader(const LabelReader&) = delete;
    LabelReader& operator=(const LabelReader&) = delete;

    // False, with problem() saying why, when Tesseract or its English data
    // cannot be loaded.
    bool ready() const { return ready_; }
    const std::string& problem() const { return problem_; }

    // The text of one label; empty when it reads nothing.
    std::string read(const LabelImage& label);
    // read() as the finder calls it.
    LabelReading reading();

private:
    std::unique_ptr<tesseract::TessBaseAPI> api_;
    bool ready_ = false;
    std::string problem_;
};

} // namespace plotrun
