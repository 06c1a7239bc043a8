#pragma once

#include <cstddef>
#include <mutex>

#include "K7Dispatch/Scheduler.h"
#include "K7Dispatch/TaskQueue.h"

namespace k7 {

// Virtual time for tests. Nothing runs until the test pumps: tasks then run on the calling
// thread in deadline order, and `now()` reads each task's deadline while it runs. Tasks may be
// posted from any thread.
class ManualScheduler final : public Scheduler {
public:
    ManualScheduler() = default;
    explicit ManualScheduler(TimePoint start) : now_(start) {}

    void post(Task task) override;
    TimerHandle postAfter(Duration delay, Task task) override;
    TimePoint now() const override;

    // Runs every task due now, including those the tasks post for now; returns how many ran.
    std::size_t runUntilIdle();
    // Moves time forward by `duration`, running each task as its deadline is reached.
    std::size_t advance(Duration duration);
    // Moves time to the next deadline and runs what is due; false when nothing is pending.
    bool advanceToNextDeadline();
    // Runs everything pending, however far in the future, up to `limit` tasks; returns how many ran.
    std::size_t runAll(std::size_t limit = 1000000);

    std::size_t pendingTaskCount() const;

private:
    // Runs the earliest task due at or before `until`; false when there is none.
    bool runOne(TimePoint until);

    mutable std::mutex mutex_;
    detail::TaskQueue tasks_;
    TimePoint now_{};
};

}  // namespace k7
