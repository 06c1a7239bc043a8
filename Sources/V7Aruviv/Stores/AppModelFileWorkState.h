#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "V7Aruviv/Stores/PendingImportBatch.h"

namespace k7 {

// Generations of the file work (import, export and file-list saves, conversion) and the imports
// waiting for the running one.
struct AppModelFileWorkState {
    uint64_t importGeneration = 0;
    uint64_t exportGeneration = 0;  // shared by item saves and file-list saves
    uint64_t conversionGeneration = 0;
    std::vector<PendingImportBatch> pendingImportBatches;
    // The alert the last import batch showed, and the one it was joined to: a later batch takes
    // back only its own part.
    std::optional<std::string> importAlert;
    std::optional<std::string> alertUnderImport;
};

}  // namespace k7
