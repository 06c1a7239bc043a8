#pragma once

#include <memory>
#include <string>

#include "K7Dispatch/Scheduler.h"

namespace k7 {

// One worker thread running tasks one at a time: posted tasks in FIFO order, delayed tasks by
// deadline then submission. Destruction lets the running task finish, drops the rest and joins
// (or detaches, when the queue is destroyed by one of its own tasks).
class SerialQueue final : public Scheduler {
public:
    explicit SerialQueue(std::string label);
    ~SerialQueue() override;

    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    void post(Task task) override;
    TimerHandle postAfter(Duration delay, Task task) override;
    TimePoint now() const override { return Clock::now(); }

    const std::string& label() const { return label_; }
    // True on this queue's worker thread.
    bool isCurrent() const;

private:
    struct Shared;
    std::string label_;
    std::shared_ptr<Shared> shared_;
};

}  // namespace k7
