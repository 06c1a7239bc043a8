#pragma once

#include <cstdint>
#include <map>
#include <optional>

namespace k7 {

// The maximum SysEx speed of each output, as a device property would keep it: every output
// starts at its default, and clearing the override returns it to the speed it had before the
// first change. Not thread-safe; the owning transport locks.
class MIDIOutputSpeedTable {
public:
    static constexpr long long lowestBytesPerSecond = 1;
    static constexpr long long highestBytesPerSecond = 10'000'000;

    explicit MIDIOutputSpeedTable(int defaultBytesPerSecond) : defaultBytesPerSecond_(defaultBytesPerSecond) {}

    int speed(int32_t output) const {
        auto found = entries_.find(output);
        return found == entries_.end() ? defaultBytesPerSecond_ : found->second.current;
    }

    // Throws MIDITransportError::InvalidSysExSpeed for a value no output could run at.
    void configure(int32_t output, std::optional<long long> bytesPerSecond);

private:
    struct Entry {
        int original;
        int current;
    };
    int defaultBytesPerSecond_;
    std::map<int32_t, Entry> entries_;
};

}  // namespace k7
