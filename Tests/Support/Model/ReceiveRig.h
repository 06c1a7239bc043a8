#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "Support/Model/AppModelRig.h"
#include "Support/SimulatedElektronMachine.h"
#include "Support/SimulatedSDSSender.h"

namespace k7::testing {

// What a receive test needs around the model rig: the Receive button, instruments that send
// unasked, the name messages a sampler sends with a dump, and instrument dumps cut as an
// interface delivers them.

// Presses Receive (toggleReceiving, as the button does).
void pressReceive(AppModelRig& rig);
// Presses Receive again and runs until the receive has ended (drain, repair, finalization);
// false when it did not end within `limit` of virtual time.
bool stopReceiveAndFinish(AppModelRig& rig, std::chrono::nanoseconds limit = std::chrono::minutes(30));

// A sampler attached to the rig's cable; start() sends its first messages.
std::shared_ptr<SimulatedSDSSender> attachSDSSender(AppModelRig& rig, SimulatedSDSSender::Options options,
                                                    std::vector<SimulatedSDSDump> dumps);
// A Machinedrum or Monomachine attached to the rig's cable, answering dump requests.
std::shared_ptr<SimulatedElektronMachine> attachElektronMachine(AppModelRig& rig,
                                                                SimulatedElektronMachine::Options options);

// F0 7E dd 05 03 ss ss 00 nn <name> F7: a sample's name with no language tag.
Bytes sdsSampleNameMessage(uint8_t deviceID, uint16_t sampleNumber, std::string_view asciiName);
// F0 00 20 3C 02 dd 73 <slot> <four characters> F7: the Machinedrum's sample name.
Bytes sps1UWNameMessage(uint8_t deviceID, uint8_t slot, std::string_view fourCharacters);

// The messages as one byte stream with real-time bytes (clock, active sensing) sprinkled in,
// cut into chunks of 1 ... `maximumChunk` bytes.
std::vector<Bytes> chunkedWithRealTimeBytes(const std::vector<Bytes>& messages, std::mt19937& random,
                                            std::size_t maximumChunk = 300);

// The real instrument dumps shared with the project, or nothing when they are not there. Inline:
// only test programs know where the project is.
#ifdef K7_SOURCE_DIR
inline std::optional<std::filesystem::path> instrumentDumpFolder() {
    const auto folder = std::filesystem::path(K7_SOURCE_DIR) / ".." / "shared" / "testdata" / "elektron";
    if (!std::filesystem::is_directory(folder)) return std::nullopt;
    return folder;
}
#endif

// The items the last receive created, in list order.
std::vector<TransferItem> itemsReceivedSince(const AppModelRig& rig, std::size_t earlierItemCount);

}  // namespace k7::testing
