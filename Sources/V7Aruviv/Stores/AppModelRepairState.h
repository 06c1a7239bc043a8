#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "K7Core/Support/Bytes.h"
#include "V7Aruviv/Stores/BackupRepairState.h"

namespace k7 {

// The backup repair's fixed settings and its running state.
struct AppModelRepairState {
    std::optional<double> backupRepairTimeoutOverride;  // seconds; replaces the per-record timeout
    std::optional<int64_t> backupRepairMaximumAttempts;  // nothing: no limit
    double backupRepairInterRequestDelay = 0;            // seconds
    std::optional<BackupRepairState> backupRepairState;
    uint64_t backupRepairTimeoutGeneration = 0;
    // Left by the repair's end for the receive's finalization: valid records that arrived in a
    // version the bank does not keep, and, when the bank stayed incomplete, what was recovered.
    std::vector<Bytes> recordsBesideBank;
    std::optional<std::string> recoveredSummary;
};

}  // namespace k7
