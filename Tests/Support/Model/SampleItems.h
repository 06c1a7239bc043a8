#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "K7Core/Support/Bytes.h"
#include "V7Aruviv/Models/TransferItem.h"

namespace k7::testing {

// File-list items made the way an import makes them (bytes analysed for sending, the device
// recognised), for the program's tests, its benchmark and its screenshots.
struct SampleItems {
    // One Elektron message of `product` (2 Machinedrum, 3 Monomachine) with `payloadBytes` of
    // seven-bit data.
    static Bytes elektronMessage(uint8_t product, std::size_t payloadBytes, uint8_t seed = 0);
    // A universal non-real-time message that belongs to no maker.
    static Bytes genericMessage(std::size_t payloadBytes);

    static TransferItem sysEx(std::string name, const std::vector<Bytes>& messages,
                              std::optional<std::filesystem::path> source = std::nullopt);
    // A sine tone as a 16-bit WAV or AIFF file, decoded as the import would.
    static TransferItem audio(std::string name, TransferItem::Kind kind, double seconds, int sampleRate = 44100,
                              int channels = 1, std::optional<std::filesystem::path> source = std::nullopt);
};

}  // namespace k7::testing
