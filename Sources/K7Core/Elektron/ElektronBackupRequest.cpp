#include "K7Core/Elektron/ElektronBackupRequest.h"

#include "K7Core/Elektron/ElektronSysEx.h"

namespace k7::detail {

std::optional<Bytes> elektronBackupRequest(const ElektronBackupRecordKey& key, uint8_t deviceID,
                                           ElektronBackupProfile widestProfile) {
    if (key.machine() != machineOf(widestProfile) || deviceID > 0x7F) return std::nullopt;
    if (key.position() >= positionCount(widestProfile, key.command())) return std::nullopt;
    const auto& id = ElektronSysEx::manufacturerID;
    return Bytes{sysExStart,
                 id[0],
                 id[1],
                 id[2],
                 static_cast<uint8_t>(productOf(key.machine())),
                 deviceID,
                 requestMessageID(key.command()),
                 key.position(),
                 sysExEnd};
}

}  // namespace k7::detail
