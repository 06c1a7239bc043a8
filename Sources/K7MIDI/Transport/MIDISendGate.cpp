#include "K7MIDI/Transport/MIDISendGate.h"

#include "K7MIDI/Transport/MIDITransportError.h"

namespace k7 {

MIDISendGate::Turn MIDISendGate::enter() {
    std::unique_lock lock(mutex_);
    const uint64_t generation = generation_;
    changed_.wait(lock, [&] { return !busy_ || generation_ != generation; });
    if (generation_ != generation) throw MIDITransportError::cancelled();
    busy_ = true;
    return Turn(this, generation);
}

MIDISendGate::Turn::~Turn() {
    if (!gate_) return;
    {
        std::lock_guard lock(gate_->mutex_);
        gate_->busy_ = false;
    }
    gate_->changed_.notify_all();
}

void MIDISendGate::Turn::waitUntil(std::optional<Clock::time_point> deadline, const std::function<bool()>& ready) {
    std::unique_lock lock(gate_->mutex_);
    auto done = [&] { return gate_->generation_ != generation_ || (ready && ready()); };
    if (deadline) {
        gate_->changed_.wait_until(lock, *deadline, done);
    } else {
        gate_->changed_.wait(lock, done);
    }
    if (gate_->generation_ != generation_) throw MIDITransportError::cancelled();
}

void MIDISendGate::Turn::throwIfCancelled() const {
    std::lock_guard lock(gate_->mutex_);
    if (gate_->generation_ != generation_) throw MIDITransportError::cancelled();
}

void MIDISendGate::cancel() {
    {
        std::lock_guard lock(mutex_);
        ++generation_;
    }
    changed_.notify_all();
}

void MIDISendGate::notify() {
    { std::lock_guard lock(mutex_); }
    changed_.notify_all();
}

uint64_t MIDISendGate::cancellationCount() const {
    std::lock_guard lock(mutex_);
    return generation_;
}

}  // namespace k7
