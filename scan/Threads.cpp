#include "Threads.h"

#include <algorithm>

namespace plotrun {

int threadsPerPicture(int limit)
{
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    return std::clamp(std::min(cores, limit), 1, kMostThreadsPerPicture);
}

} // namespace plotrun
