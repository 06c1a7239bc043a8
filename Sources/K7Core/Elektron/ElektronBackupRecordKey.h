#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <variant>

#include "K7Core/Elektron/ElektronBackupCommand.h"
#include "K7Core/Elektron/ElektronBackupMachine.h"

namespace k7 {

struct MachinedrumRecordKey {
    ElektronBackupCommand command;
    uint8_t position;
    auto operator<=>(const MachinedrumRecordKey&) const = default;
};

struct MonomachineRecordKey {
    ElektronBackupCommand command;
    uint8_t position;
    auto operator<=>(const MonomachineRecordKey&) const = default;
};

// One record of a backup. Keys order in backup order: by machine, then globals, kits, patterns
// and songs, each by position.
class ElektronBackupRecordKey {
public:
    using Value = std::variant<MachinedrumRecordKey, MonomachineRecordKey>;

    ElektronBackupRecordKey(MachinedrumRecordKey key) : value_(key) {}
    ElektronBackupRecordKey(MonomachineRecordKey key) : value_(key) {}
    ElektronBackupRecordKey(ElektronBackupMachine machine, ElektronBackupCommand command, uint8_t position);

    static ElektronBackupRecordKey machinedrum(ElektronBackupCommand command, uint8_t position) {
        return MachinedrumRecordKey{command, position};
    }
    static ElektronBackupRecordKey monomachine(ElektronBackupCommand command, uint8_t position) {
        return MonomachineRecordKey{command, position};
    }

    const Value& value() const { return value_; }
    ElektronBackupMachine machine() const;
    ElektronBackupCommand command() const;
    uint8_t position() const;

    // The command in lower case, a space and the position in decimal: "kit 12".
    std::string displayName() const;

    auto operator<=>(const ElektronBackupRecordKey&) const = default;

private:
    Value value_;
};

}  // namespace k7

template <>
struct std::hash<k7::ElektronBackupRecordKey> {
    std::size_t operator()(const k7::ElektronBackupRecordKey& key) const noexcept {
        return (static_cast<std::size_t>(key.machine()) << 16) | (static_cast<std::size_t>(key.command()) << 8) |
               key.position();
    }
};
