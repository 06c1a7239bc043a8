#include "K7Dispatch/SerialQueue.h"

#include <pthread.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "K7Dispatch/TaskQueue.h"

namespace k7 {

struct SerialQueue::Shared {
    std::mutex mutex;
    std::condition_variable wake;
    detail::TaskQueue tasks;
    bool stopping = false;
    std::thread worker;
    std::thread::id workerID;
};

namespace {

void setThreadName(const std::string& label) {
    // Linux limits thread names to 15 bytes; the end of a reverse-DNS label is the telling part.
    const std::string name = label.size() > 15 ? label.substr(label.size() - 15) : label;
    pthread_setname_np(pthread_self(), name.c_str());
}

}  // namespace

SerialQueue::SerialQueue(std::string label) : label_(std::move(label)), shared_(std::make_shared<Shared>()) {
    std::unique_lock lock(shared_->mutex);
    // The worker owns a reference so that a queue destroyed by its own task stays valid until the
    // task returns.
    shared_->worker = std::thread([shared = shared_, label = label_] {
        setThreadName(label);
        std::unique_lock lock(shared->mutex);
        while (!shared->stopping) {
            // A cancelled timer must not keep the worker waiting for its deadline.
            shared->tasks.discardCancelledFront();
            auto due = shared->tasks.popDue(Clock::now());
            if (!due) {
                if (auto deadline = shared->tasks.nextDeadline()) {
                    shared->wake.wait_until(lock, *deadline);
                } else {
                    shared->wake.wait(lock);
                }
                continue;
            }
            if (due->handle.isCancelled()) continue;
            lock.unlock();
            due->task();
            due.reset();  // release captured state outside the lock
            lock.lock();
        }
        shared->tasks.clear();
    });
    shared_->workerID = shared_->worker.get_id();
}

SerialQueue::~SerialQueue() {
    {
        std::lock_guard lock(shared_->mutex);
        shared_->stopping = true;
    }
    shared_->wake.notify_all();
    if (std::this_thread::get_id() == shared_->workerID) {
        shared_->worker.detach();
    } else {
        shared_->worker.join();
    }
}

void SerialQueue::post(Task task) {
    {
        std::lock_guard lock(shared_->mutex);
        if (shared_->stopping) return;
        shared_->tasks.push(Clock::now(), std::move(task));
    }
    shared_->wake.notify_one();
}

TimerHandle SerialQueue::postAfter(Duration delay, Task task) {
    auto handle = TimerHandle::make();
    {
        std::lock_guard lock(shared_->mutex);
        if (shared_->stopping) return handle;
        shared_->tasks.push(Clock::now() + std::max(delay, Duration::zero()), std::move(task), handle);
    }
    shared_->wake.notify_one();
    return handle;
}

bool SerialQueue::isCurrent() const { return std::this_thread::get_id() == shared_->workerID; }

}  // namespace k7
