#pragma once

// Private: the one pass over a message list shared by the dump validators and the repair plan.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "K7Core/Elektron/ElektronBackupProfile.h"
#include "K7Core/Elektron/ElektronBackupRecordKey.h"
#include "K7Core/Elektron/ElektronBackupValidationReport.h"
#include "K7Core/Support/Bytes.h"

namespace k7::detail {

struct ElektronBackupAnalysis {
    // One slot per command and seven-bit position.
    static constexpr std::size_t slotCount = 4 * 128;
    static constexpr int noSlot = -1;

    struct Slot {
        uint32_t records = 0;
        uint32_t validRecords = 0;
        std::size_t firstMessage = 0;
    };

    ElektronBackupMachine machine{};
    ElektronBackupProfile profile{};
    bool isBackup = false;
    std::array<Slot, slotCount> slots{};
    // Per message: the slot of a record at a position of the profile, else noSlot.
    std::vector<int> messageSlots;
    std::vector<ElektronBackupRecordKey> invalidKeys;     // in message order
    std::vector<ElektronBackupRecordKey> unexpectedKeys;  // in message order
    std::vector<ElektronBackupCommand> positionlessRecords;
    std::size_t invalidCount = 0;
    std::size_t duplicateCount = 0;
    std::optional<uint8_t> firstValidDeviceID;

    static std::size_t slotOf(ElektronBackupCommand command, uint8_t position) {
        return static_cast<std::size_t>(command) * 128 + position;
    }
    ElektronBackupRecordKey keyOf(std::size_t slot) const {
        return ElektronBackupRecordKey(machine, static_cast<ElektronBackupCommand>(slot / 128),
                                       static_cast<uint8_t>(slot % 128));
    }
    bool inProfile(std::size_t slot) const {
        return slot % 128 < positionCount(profile, static_cast<ElektronBackupCommand>(slot / 128));
    }

    std::size_t recognizedCount() const;
    std::vector<ElektronBackupRecordKey> missingKeys() const;
    std::vector<ElektronBackupRecordKey> duplicateKeys() const;
    // Missing, invalid and duplicated positions, in backup order.
    std::vector<ElektronBackupRecordKey> repairTargets() const;
};

// The Monomachine community firmware's extended-data dumps (IDs 63 and 6F) mark its profile.
bool carriesMonomachineEMSData(std::span<const Bytes> messages);

ElektronBackupProfile detectProfile(ElektronBackupMachine machine, std::span<const Bytes> messages);

ElektronBackupAnalysis analyzeElektronBackup(std::span<const Bytes> messages, ElektronBackupProfile profile);

// `forceBackup` counts missing records even when the list does not look like a backup.
ElektronBackupValidationReport makeValidationReport(const ElektronBackupAnalysis& analysis, bool forceBackup = false);

}  // namespace k7::detail
