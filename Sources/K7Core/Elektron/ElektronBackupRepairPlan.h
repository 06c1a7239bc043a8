#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

#include "K7Core/Elektron/ElektronBackupProfile.h"
#include "K7Core/Elektron/ElektronBackupRecordKey.h"
#include "K7Core/Elektron/ElektronBackupValidationSummary.h"
#include "K7Core/Support/Bytes.h"

namespace k7 {

// How to complete a received Machinedrum or Monomachine backup: the records to request again
// (missing, invalid or received more than once) and how to merge the replies into the capture.
class ElektronBackupRepairPlan {
public:
    using Replacements = std::unordered_map<ElektronBackupRecordKey, Bytes>;

    // nil when the messages are no backup of either instrument or nothing needs requesting.
    // `fallbackDeviceID` is used when no valid record tells the device ID.
    static std::optional<ElektronBackupRepairPlan> make(std::span<const Bytes> messages, uint8_t fallbackDeviceID);

    ElektronBackupMachine machine() const { return machineOf(profile_); }
    ElektronBackupProfile profile() const { return profile_; }
    // In backup order.
    const std::vector<ElektronBackupRecordKey>& targets() const { return targets_; }
    uint8_t deviceID() const { return deviceID_; }
    std::size_t expectedRecordCount() const { return k7::expectedRecordCount(profile_); }

    // A complete, valid record of the plan's instrument at a position of its profile.
    bool isValidReplacement(ByteView message) const;

    // The received list with each target's replacement where the record belongs: in place of its
    // first record (later copies dropped), or, when it was missing, after the record that precedes
    // it in backup order. Replacements for other keys, or whose bytes are not a valid record of
    // their key, are not used. Everything else is kept as received, in order.
    std::vector<Bytes> applying(const Replacements& replacements, std::span<const Bytes> received) const;

    // Valid when the list is a complete backup of the plan's profile with nothing to report.
    ElektronBackupValidationSummary validationSummary(std::span<const Bytes> messages) const;

private:
    ElektronBackupRepairPlan(ElektronBackupProfile profile, std::vector<ElektronBackupRecordKey> targets,
                             uint8_t deviceID)
        : profile_(profile), targets_(std::move(targets)), deviceID_(deviceID) {}

    ElektronBackupProfile profile_;
    std::vector<ElektronBackupRecordKey> targets_;
    uint8_t deviceID_;
};

}  // namespace k7
