#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "V7Aruviv/Models/TransferItem.h"

namespace k7 {

// Items read on the import queue, to be applied on the main thread.
struct PreparedImport {
    std::vector<TransferItem> items;
    // One user-facing line per file or file-list row that was skipped.
    std::vector<std::string> failures;
    // The sample position of the batch's last file list, when it had one.
    std::optional<uint32_t> samplePosition;

    // The bytes of the items' data; decoded audio does not count.
    int64_t retainedByteCount() const {
        int64_t total = 0;
        for (const auto& item : items) total += static_cast<int64_t>(item.data.size());
        return total;
    }
};

}  // namespace k7
