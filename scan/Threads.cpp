#include "Threads.h"

#include <algorithm>
#include <atomic>

namespace plotrun {

namespace {
std::atomic<int> g_limit = 4;
} // namespace

int threadsPerPicture()
{
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    return std::clamp(std::min(cores, g_limit.load(std::memory_order_relaxed)), 1, 4);
}

void setThreadsPerPictureLimit(int limit) { g_limit.store(std::max(1, limit), std::memory_order_relaxed); }

int threadsPerPictureLimit() { return g_limit.load(std::memory_order_relaxed); }

} // namespace plotrun
