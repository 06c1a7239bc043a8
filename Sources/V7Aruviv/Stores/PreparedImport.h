#pragma once

#include <cstdint>
#include <vector>

#include "V7Aruviv/Models/TransferItem.h"

namespace k7 {

// Items read on the import queue, to be applied on the main thread.
struct PreparedImport {
    std::vector<TransferItem> items;

    // The bytes of the items' data; decoded audio does not count.
    int64_t retainedByteCount() const {
        int64_t total = 0;
        for (const auto& item : items) total += static_cast<int64_t>(item.data.size());
        return total;
    }
};

}  // namespace k7
