#pragma once

// Private: the dump request shared by both instruments' repair plans.

#include <cstdint>
#include <optional>

#include "K7Core/Elektron/ElektronBackupProfile.h"
#include "K7Core/Elektron/ElektronBackupRecordKey.h"
#include "K7Core/Support/Bytes.h"

namespace k7::detail {

std::optional<Bytes> elektronBackupRequest(const ElektronBackupRecordKey& key, uint8_t deviceID,
                                           ElektronBackupProfile widestProfile);

}  // namespace k7::detail
