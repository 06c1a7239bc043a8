#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "K7Core/Elektron/ElektronBackupProfile.h"

namespace k7 {

// What the dump validators found in a list of messages.
struct ElektronBackupValidationReport {
    // One sentence naming the records to fix and what to do; nil when there is nothing to report.
    std::optional<std::string> correctiveWarning;
    // Positions with a valid record.
    std::size_t recognizedRecordCount = 0;
    // Records that fail the length, checksum or data checks.
    std::size_t invalidRecordCount = 0;
    // Positions of a complete backup without any record; only counted when the list is a backup.
    std::size_t missingRecordCount = 0;
    // Records beyond the first for a position.
    std::size_t duplicateRecordCount = 0;
    // Records at positions the instrument does not have.
    std::size_t unexpectedRecordCount = 0;
    // The list holds a global record and records of at least one other kind.
    bool isBackup = false;
    ElektronBackupProfile profile = ElektronBackupProfile::machinedrum;

    bool operator==(const ElektronBackupValidationReport&) const = default;
};

}  // namespace k7
