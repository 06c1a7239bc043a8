#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "K7Core/Elektron/ElektronBackupRecordKey.h"
#include "K7Core/Elektron/ElektronBackupRepairPlan.h"
#include "K7Core/Support/Bytes.h"

namespace k7 {

// Held by the model while a backup repair re-requests records.
struct BackupRepairState {
    uint64_t receiveGeneration = 0;  // the receive session the repair belongs to
    ElektronBackupRepairPlan plan;
    int64_t targetIndex = 0;  // the target being requested now
    int64_t attempt = 0;      // attempts made for that target
    std::unordered_map<ElektronBackupRecordKey, Bytes> replacements;
    // Replies taken in that are not used as replacements (rejected, not asked for, or displaced by
    // a later reply); they join the received data when the repair ends.
    std::vector<Bytes> unusedReplies;
};

}  // namespace k7
