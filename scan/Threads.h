#pragma once

#include <exception>
#include <thread>
#include <vector>

namespace plotrun {

// Beyond four threads, reading and scanning one picture's band waits on the
// memory more than it gains.
inline constexpr int kMostThreadsPerPicture = 4;

// How many threads one picture may use to read and scan a large band: at
// most four, no more than the machine's cores, and no more than `limit`,
// which a front end gives when several pictures run at once and share the
// cores.
int threadsPerPicture(int limit = kMostThreadsPerPicture);

// Runs work(0) .. work(shares - 1), share 0 on the calling thread and each
// other share on a thread of its own. A share whose thread cannot be started
// (the system has none to spare) runs on the calling thread after share 0.
// Once every share is done, the exception of the first share that threw, if
// any, is thrown again here.
template <class Work>
void runShares(int shares, const Work& work)
{
    std::vector<std::exception_ptr> errors(static_cast<size_t>(shares > 1 ? shares : 1));
    const auto run = [&](int t) {
        try {
            work(t);
        } catch (...) {
            errors[static_cast<size_t>(t)] = std::current_exception();
        }
    };
    {
        std::vector<std::jthread> workers;
        int started = 1;
        try {
            workers.reserve(static_cast<size_t>(shares > 1 ? shares - 1 : 0));
            for (; started < shares; ++started)
                workers.emplace_back([&run, t = started] { run(t); });
        } catch (const std::exception&) {
        }
        run(0);
        for (int t = started; t < shares; ++t)
            run(t);
    } // the threads are joined here
    for (const std::exception_ptr& e : errors)
        if (e)
            std::rethrow_exception(e);
}

} // namespace plotrun
