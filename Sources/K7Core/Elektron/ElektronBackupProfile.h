#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "K7Core/Elektron/ElektronBackupCommand.h"
#include "K7Core/Elektron/ElektronBackupMachine.h"

namespace k7 {

// What a complete backup holds: the positions 0 ..< count of each record kind.
enum class ElektronBackupProfile : uint8_t {
    machinedrum,       // 8 globals, 64 kits, 128 patterns, 32 songs
    monomachineEMS,    // the community firmware reuses song slots 12...23 for its own data
    monomachineStock,  // 8 globals, 128 kits, 128 patterns, 24 songs
};

constexpr ElektronBackupMachine machineOf(ElektronBackupProfile profile) {
    return profile == ElektronBackupProfile::machinedrum ? ElektronBackupMachine::machinedrum
                                                         : ElektronBackupMachine::monomachine;
}

// The number of positions of one record kind; a record at or beyond it is unexpected.
constexpr std::size_t positionCount(ElektronBackupProfile profile, ElektronBackupCommand command) {
    switch (command) {
        case ElektronBackupCommand::global: return 8;
        case ElektronBackupCommand::kit: return profile == ElektronBackupProfile::machinedrum ? 64 : 128;
        case ElektronBackupCommand::pattern: return 128;
        case ElektronBackupCommand::song:
            switch (profile) {
                case ElektronBackupProfile::machinedrum: return 32;
                case ElektronBackupProfile::monomachineEMS: return 12;
                case ElektronBackupProfile::monomachineStock: return 24;
            }
    }
    return 0;
}

constexpr std::size_t expectedRecordCount(ElektronBackupProfile profile) {
    std::size_t total = 0;
    for (auto command : allElektronBackupCommands) total += positionCount(profile, command);
    return total;
}

// "machinedrum", "monomachineEMS" or "monomachineStock", as diagnostics name the profile.
constexpr std::string_view displayName(ElektronBackupProfile profile) {
    switch (profile) {
        case ElektronBackupProfile::machinedrum: return "machinedrum";
        case ElektronBackupProfile::monomachineEMS: return "monomachineEMS";
        case ElektronBackupProfile::monomachineStock: return "monomachineStock";
    }
    return "";
}

}  // namespace k7
