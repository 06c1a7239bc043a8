#include "K7MIDI/Transport/MIDIOutputSpeedTable.h"

#include "K7MIDI/Transport/MIDITransportError.h"

namespace k7 {

void MIDIOutputSpeedTable::configure(int32_t output, std::optional<long long> bytesPerSecond) {
    if (!bytesPerSecond) {
        entries_.erase(output);
        return;
    }
    if (*bytesPerSecond < lowestBytesPerSecond || *bytesPerSecond > highestBytesPerSecond) {
        throw MIDITransportError(MIDITransportError::InvalidSysExSpeed{*bytesPerSecond});
    }
    auto [entry, inserted] = entries_.try_emplace(output, Entry{defaultBytesPerSecond_, defaultBytesPerSecond_});
    entry->second.current = static_cast<int>(*bytesPerSecond);
    // Back at its original speed the output needs no override.
    if (entry->second.current == entry->second.original) entries_.erase(entry);
}

}  // namespace k7
