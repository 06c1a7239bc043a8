#pragma once

#include <cstddef>

namespace k7 {

// Whether a message list is a complete, valid backup of a repair plan's instrument.
struct ElektronBackupValidationSummary {
    bool isValid = false;
    std::size_t recognizedRecordCount = 0;

    bool operator==(const ElektronBackupValidationSummary&) const = default;
};

}  // namespace k7
