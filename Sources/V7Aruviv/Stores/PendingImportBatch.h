#pragma once

#include <filesystem>
#include <functional>
#include <vector>

namespace k7 {

// An import waiting for the one that runs now.
struct PendingImportBatch {
    std::vector<std::filesystem::path> urls;
    std::function<void()> afterApplying;  // may be empty
};

}  // namespace k7
