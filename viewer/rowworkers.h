// SPDX-License-Identifier: MIT
// The rows of one render shared out among worker threads. The grid points are independent and
// the kernel keeps no state, so rows can be computed in any order and at once; what the user
// sees stays in order: the rows finished from row 0 on, without gaps.
#pragma once

#include <cstdint>
#include <functional>
#include <stop_token>

namespace rowworkers {

// The number of threads a render computes its grid on: the processors this program may run on,
// unless set otherwise for a scope. With 1 the render is the single loop on the calling thread.
int threadCount();

// Sets threadCount() for the lifetime of the object, then restores the number before it.
class ThreadCountScope {
public:
    explicit ThreadCountScope(int threads);
    ~ThreadCountScope();
    ThreadCountScope(const ThreadCountScope&) = delete;
    ThreadCountScope& operator=(const ThreadCountScope&) = delete;

private:
    int saved_;
};

// Computes one row. Runs on a worker thread, must not throw, and should leave its row soon
// after `stop` is requested.
using RowWork = std::function<void(std::int32_t row, const std::stop_token& stop)>;

// Computes rows 0 to rows - 1 with `work` on `threads` worker threads; each takes the next row
// that no thread has taken as soon as it is free, so slow rows keep no core idle. The calling
// thread waits: whenever the rows finished from row 0 on, without gaps, have grown, it passes
// how many more there are to `finished`, and about every 16 ms it asks `stopWanted`. Returns
// true once every row is done; false, with the workers stopped and some rows unfinished, as
// soon as `stopWanted` answers true.
bool computeRows(std::int32_t rows, int threads, const RowWork& work,
                 const std::function<void(std::int32_t)>& finished,
                 const std::function<bool()>& stopWanted);

} // namespace rowworkers
