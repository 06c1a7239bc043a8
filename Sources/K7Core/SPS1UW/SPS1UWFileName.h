#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "K7Core/Support/Bytes.h"

namespace k7 {

// The four seven-bit characters an Elektron instrument shows as a sample or waveform name.
class SPS1UWFileName {
public:
    static constexpr std::size_t byteCount = 4;

    // From a display name or path: the last path component without its extension; printable
    // ASCII kept, every other character "_"; cut or padded with spaces to four. Never fails.
    static SPS1UWFileName normalizing(std::string_view displayName);

    // Throws SPS1UWFileNameError unless exactly four seven-bit bytes.
    explicit SPS1UWFileName(ByteView bytes);

    const std::array<uint8_t, byteCount>& bytes() const { return bytes_; }
    std::string text() const { return std::string(bytes_.begin(), bytes_.end()); }

    bool operator==(const SPS1UWFileName&) const = default;

private:
    SPS1UWFileName() = default;
    std::array<uint8_t, byteCount> bytes_{};
};

}  // namespace k7
