#pragma once
// A large chart drawn in code: white, three anti-aliased curves.

#include <cstdint>
#include <vector>

namespace plotrun::bench {

// Pixels as 0xFFBBGGRR, rows top to bottom.
std::vector<uint32_t> drawCurves(int width, int height);

} // namespace plotrun::bench
