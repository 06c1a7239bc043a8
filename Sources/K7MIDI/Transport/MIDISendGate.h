#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>

namespace k7 {

// Lets one send at a time onto an output and makes every wait of a send cancellable: cancel()
// wakes all senders, waiting for their turn or pacing, and they throw
// MIDITransportError::cancelled. Sends that enter after the cancel are not affected.
class MIDISendGate {
public:
    using Clock = std::chrono::steady_clock;

    class Turn {
    public:
        Turn(Turn&& other) noexcept : gate_(other.gate_), generation_(other.generation_) { other.gate_ = nullptr; }
        Turn(const Turn&) = delete;
        Turn& operator=(const Turn&) = delete;
        Turn& operator=(Turn&&) = delete;
        ~Turn();

        // Waits until `deadline` (when given) or until `ready` (when given) holds; throws cancelled.
        void waitUntil(std::optional<Clock::time_point> deadline, const std::function<bool()>& ready = {});
        void throwIfCancelled() const;

    private:
        friend class MIDISendGate;
        Turn(MIDISendGate* gate, uint64_t generation) : gate_(gate), generation_(generation) {}
        MIDISendGate* gate_;
        uint64_t generation_;
    };

    // Waits for the output; throws cancelled when a cancel comes first.
    Turn enter();
    void cancel();
    // Wakes waiters so that they re-test their `ready` condition.
    void notify();
    uint64_t cancellationCount() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool busy_ = false;
    uint64_t generation_ = 0;
};

}  // namespace k7
