#pragma once

#include <optional>
#include <span>

#include "K7Core/Elektron/ElektronBackupRecordValidation.h"
#include "K7Core/Elektron/ElektronBackupValidationReport.h"
#include "K7Core/Support/Bytes.h"

namespace k7 {

// Checks Machinedrum dump records (global, kit, pattern, song) and lists of them.
struct MachinedrumDumpValidator {
    // Invalid, duplicated and unexpected records are always reported; missing records only when the
    // list is a backup (a global record and records of at least one other kind), so a few single
    // dumps are never taken for an incomplete backup.
    static ElektronBackupValidationReport validate(std::span<const Bytes> messages);

    // nil when the message is not a Machinedrum dump record.
    static std::optional<ElektronBackupRecordValidation> validate(ByteView message);
};

}  // namespace k7
