// SPDX-License-Identifier: MIT
#include "rowworkers.h"

#include "platform/processors.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace rowworkers {
namespace {

int& configuredThreads()
{
    static int threads = 0; // 0: the usable processors
    return threads;
}

// Which rows are finished. The waiting thread looks at them once per screen refresh, or at
// once when the last one is done: a wake-up per row would take time from the workers.
struct FinishedRows {
    explicit FinishedRows(std::int32_t rows) : done(static_cast<std::size_t>(rows), false) {}

    void mark(std::int32_t row)
    {
        bool last = false;
        {
            const std::lock_guard hold(lock);
            done[static_cast<std::size_t>(row)] = true;
            last = ++count == static_cast<std::int32_t>(done.size());
        }
        if (last)
            allDone.notify_one();
    }

    std::mutex lock;
    std::condition_variable allDone;
    std::vector<bool> done;
    std::int32_t count = 0;
};

} // namespace

int threadCount()
{
    return configuredThreads() > 0 ? configuredThreads() : platform::usableProcessors();
}

ThreadCountScope::ThreadCountScope(int threads) : saved_(configuredThreads())
{
    configuredThreads() = threads;
}

ThreadCountScope::~ThreadCountScope()
{
    configuredThreads() = saved_;
}

bool computeRows(std::int32_t rows, int threads, const RowWork& work,
                 const std::function<void(std::int32_t)>& finished,
                 const std::function<bool()>& stopWanted)
{
    using namespace std::chrono_literals;
    FinishedRows progress(rows);
    std::atomic<std::int32_t> nextRow{0};
    auto worker = [&](const std::stop_token& stop) noexcept {
        platform::clearWideVectorState();
        while (!stop.stop_requested()) {
            const std::int32_t row = nextRow.fetch_add(1, std::memory_order_relaxed);
            if (row >= rows)
                return;
            work(row, stop);
            if (!stop.stop_requested())
                progress.mark(row);
        }
    };
    // Destroyed first on every way out: each jthread is asked to stop, then joined.
    std::vector<std::jthread> workers;
    workers.reserve(static_cast<std::size_t>(threads));
    for (int t = 0; t < threads; ++t)
        workers.emplace_back(worker);

    std::int32_t reported = 0;
    while (reported < rows) {
        std::int32_t reached = reported;
        {
            std::unique_lock hold(progress.lock);
            progress.allDone.wait_for(hold, 16ms, [&] { return progress.count == rows; });
            while (reached < rows && progress.done[static_cast<std::size_t>(reached)])
                ++reached;
        }
        if (reached > reported) {
            finished(reached - reported);
            reported = reached;
        }
        if (reported < rows && stopWanted())
            return false;
    }
    return true;
}

} // namespace rowworkers
