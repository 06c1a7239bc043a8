#pragma once

#include <cstdint>
#include <mutex>
#include <optional>

namespace k7 {

// Turns the time spent writing a raw SysEx message into bytes, so that progress moves while a
// long message is on the wire. Shared by the send queue (which writes) and the main thread (which
// reads); every access takes the lock. Times are seconds on one monotonic clock.
class RawSysExProgressClock {
public:
    RawSysExProgressClock(int64_t totalBytes, double bytesPerSecond);

    RawSysExProgressClock(const RawSysExProgressClock&) = delete;
    RawSysExProgressClock& operator=(const RawSysExProgressClock&) = delete;

    // The sender starts writing a message of `byteCount` bytes at `startedAt`.
    void beginMessage(int64_t byteCount, double startedAt);
    // The message begun last has been handed over.
    void finishMessage();

    // Bytes of finished messages plus the elapsed share of the active one, which never counts as
    // complete by time alone; at most totalBytes.
    int64_t completedBytes(double at) const;

    int64_t totalBytes() const { return totalBytes_; }
    double bytesPerSecond() const { return bytesPerSecond_; }

private:
    struct ActiveMessage {
        int64_t byteCount;
        double startedAt;
    };

    mutable std::mutex lock_;
    const int64_t totalBytes_;
    const double bytesPerSecond_;
    int64_t completedBytesStorage_ = 0;
    std::optional<ActiveMessage> activeMessage_;
};

}  // namespace k7
