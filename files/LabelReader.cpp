#include "LabelReader.h"

#include <tesseract/baseapi.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace plotrun {

namespace {

// Tesseract reads text best some 50 pixels high; small labels are enlarged
// to that, by whole steps, with a margin of paper around them.
constexpr int32_t kReadHeight = 48;
constexpr int32_t kMargin = 12;

} // namespace

LabelReader::LabelReader() : api_(std::make_unique<tesseract::TessBaseAPI>())
{
    // Without the word lists, which only hinder reading numbers, and only
    // the characters that numbers use.
    std::vector<std::string> names{"load_system_dawg", "load_freq_dawg"};
    std::vector<std::string> values{"0", "0"};
    if (api_->Init(nullptr, "eng", tesseract::OEM_LSTM_ONLY, nullptr, 0, &names, &values, false) != 0) {
        problem_ = "Tesseract cannot load its English data (Debian package tesseract-ocr-eng)";
        return;
    }
    api_->SetVariable("tessedit_char_whitelist", "0123456789-.,eEx^");
    api_->SetPageSegMode(tesseract::PSM_SINGLE_LINE);
    ready_ = true;
}

LabelReader::~LabelReader()
{
    if (api_)
        api_->End();
}

std::string LabelReader::read(const LabelImage& label)
{
    if (!ready_ || label.width <= 0 || label.height <= 0)
        return {};
    const int32_t scale = std::clamp<int32_t>((kReadHeight + label.height - 1) / label.height, 1, 8);
    const int32_t w = label.width * scale + 2 * kMargin, h = label.height * scale + 2 * kMargin;
    // Black on white, enlarged by bilinear steps so that the edges stay smooth.
    std::vector<uint8_t> grey(size_t(w) * size_t(h), 255);
    const auto dark = [&](int32_t c, int32_t r) {
        c = std::clamp(c, 0, label.width - 1);
        r = std::clamp(r, 0, label.height - 1);
        return double(label.darkness[size_t(r) * size_t(label.width) + size_t(c)]);
    };
    for (int32_t y = 0; y < label.height * scale; ++y)
        for (int32_t x = 0; x < label.width * scale; ++x) {
            const double sx = (x + 0.5) / scale - 0.5, sy = (y + 0.5) / scale - 0.5;
            const double fx = std::floor(sx), fy = std::floor(sy);
            const double tx = sx - fx, ty = sy - fy;
            const auto ix = int32_t(fx), iy = int32_t(fy);
            const double d = (1 - ty) * ((1 - tx) * dark(ix, iy) + tx * dark(ix + 1, iy)) +
                             ty * ((1 - tx) * dark(ix, iy + 1) + tx * dark(ix + 1, iy + 1));
            grey[size_t(y + kMargin) * size_t(w) + size_t(x + kMargin)] = uint8_t(255 - std::lround(d));
        }
    api_->SetImage(grey.data(), w, h, 1, w);
    std::unique_ptr<char[]> text(api_->GetUTF8Text());
    api_->Clear();
    std::string out = text ? text.get() : "";
    out.erase(std::remove_if(out.begin(), out.end(), [](char c) { return c == '\n' || c == ' '; }), out.end());
    return out;
}

LabelReading LabelReader::reading()
{
    return [this](const LabelImage& label) { return read(label); };
}

} // namespace plotrun
