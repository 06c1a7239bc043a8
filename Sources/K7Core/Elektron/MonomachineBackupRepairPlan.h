#pragma once

#include <cstdint>
#include <optional>

#include "K7Core/Elektron/ElektronBackupRecordKey.h"
#include "K7Core/Support/Bytes.h"

namespace k7 {

struct MonomachineBackupRepairPlan {
    // The nine-byte dump request F0 00 20 3C <product> <device ID> <request ID> <position> F7; nil for
    // a key of the other instrument, a position the Monomachine does not have or a device ID above 7F.
    static std::optional<Bytes> request(const ElektronBackupRecordKey& key, uint8_t deviceID);
};

}  // namespace k7
