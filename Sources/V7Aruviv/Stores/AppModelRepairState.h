#pragma once

#include <cstdint>
#include <optional>

#include "V7Aruviv/Stores/BackupRepairState.h"

namespace k7 {

// The backup repair's fixed settings and its running state.
struct AppModelRepairState {
    std::optional<double> backupRepairTimeoutOverride;  // seconds; replaces the per-record timeout
    std::optional<int64_t> backupRepairMaximumAttempts;  // nothing: no limit
    double backupRepairInterRequestDelay = 0;            // seconds
    std::optional<BackupRepairState> backupRepairState;
    uint64_t backupRepairTimeoutGeneration = 0;
};

}  // namespace k7
