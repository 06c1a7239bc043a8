#pragma once

#include <cstdint>
#include <optional>
#include <queue>
#include <vector>

#include "K7Dispatch/Scheduler.h"

namespace k7::detail {

// Tasks ordered by deadline, then by submission. Not thread-safe: the owner locks.
class TaskQueue {
public:
    void push(Scheduler::TimePoint deadline, Task task, TimerHandle handle = {}) {
        heap_.push(Entry{deadline, nextSequence_++, std::move(task), std::move(handle)});
    }

    bool empty() const { return heap_.empty(); }
    std::size_t size() const { return heap_.size(); }
    std::optional<Scheduler::TimePoint> nextDeadline() const {
        if (heap_.empty()) return std::nullopt;
        return heap_.top().deadline;
    }

    struct Due {
        Scheduler::TimePoint deadline;
        Task task;
        TimerHandle handle;
    };
    // The earliest task when it is due at `now`.
    std::optional<Due> popDue(Scheduler::TimePoint now) {
        if (heap_.empty() || heap_.top().deadline > now) return std::nullopt;
        // The heap only hands out const references; the entry is discarded right after the move.
        auto& top = const_cast<Entry&>(heap_.top());
        Due due{top.deadline, std::move(top.task), std::move(top.handle)};
        heap_.pop();
        return due;
    }

    // Drops cancelled timers at the front so that `nextDeadline` names a task that will run.
    void discardCancelledFront() {
        while (!heap_.empty() && heap_.top().handle.isCancelled()) heap_.pop();
    }

    void clear() { heap_ = {}; }

private:
    struct Entry {
        Scheduler::TimePoint deadline;
        uint64_t sequence;
        Task task;
        TimerHandle handle;
    };
    struct Later {
        bool operator()(const Entry& a, const Entry& b) const {
            return a.deadline != b.deadline ? a.deadline > b.deadline : a.sequence > b.sequence;
        }
    };
    std::priority_queue<Entry, std::vector<Entry>, Later> heap_;
    uint64_t nextSequence_ = 0;
};

}  // namespace k7::detail
