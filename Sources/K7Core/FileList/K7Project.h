#pragma once

#include <cstdint>
#include <vector>

#include "K7Core/FileList/K7ProjectItem.h"

namespace k7 {

// A file list: the next sample position and the rows.
struct K7Project {
    uint32_t samplePosition = 0;
    std::vector<K7ProjectItem> items;

    bool operator==(const K7Project&) const = default;
};

}  // namespace k7
