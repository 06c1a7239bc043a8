#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace k7 {

// The four kinds of record a Machinedrum or Monomachine backup is made of, in backup order.
enum class ElektronBackupCommand : uint8_t { global, kit, pattern, song };

inline constexpr std::array<ElektronBackupCommand, 4> allElektronBackupCommands{
    ElektronBackupCommand::global, ElektronBackupCommand::kit, ElektronBackupCommand::pattern,
    ElektronBackupCommand::song};

// The message ID of the record's dump (offset 6).
constexpr uint8_t dumpMessageID(ElektronBackupCommand command) {
    constexpr std::array<uint8_t, 4> ids{0x50, 0x52, 0x67, 0x69};
    return ids[static_cast<std::size_t>(command)];
}

// The message ID that asks the instrument for one record.
constexpr uint8_t requestMessageID(ElektronBackupCommand command) {
    constexpr std::array<uint8_t, 4> ids{0x51, 0x53, 0x68, 0x6A};
    return ids[static_cast<std::size_t>(command)];
}

constexpr std::optional<ElektronBackupCommand> elektronBackupCommandFromDumpID(uint8_t messageID) {
    switch (messageID) {
        case 0x50: return ElektronBackupCommand::global;
        case 0x52: return ElektronBackupCommand::kit;
        case 0x67: return ElektronBackupCommand::pattern;
        case 0x69: return ElektronBackupCommand::song;
        default: return std::nullopt;
    }
}

// "global", "kit", "pattern" or "song".
constexpr std::string_view displayName(ElektronBackupCommand command) {
    constexpr std::array<std::string_view, 4> names{"global", "kit", "pattern", "song"};
    return names[static_cast<std::size_t>(command)];
}

}  // namespace k7
