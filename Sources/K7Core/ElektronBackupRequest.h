#pragma once

// Private: the dump request shared by both instruments' repair plans.

#include <cstdint>
#include <optional>

#include "K7Core/Bytes.h"
#include "K7Core/ElektronBackupProfile.h"
#include "K7Core/ElektronBackupRecordKey.h"

namespace k7::detail {

std::optional<Bytes> elektronBackupRequest(const ElektronBackupRecordKey& key, uint8_t deviceID,
                                           ElektronBackupProfile widestProfile);

}  // namespace k7::detail
