#include "K7Core/Elektron/MonomachineBackupRepairPlan.h"

#include "K7Core/Elektron/ElektronBackupRequest.h"

namespace k7 {

std::optional<Bytes> MonomachineBackupRepairPlan::request(const ElektronBackupRecordKey& key, uint8_t deviceID) {
    return detail::elektronBackupRequest(key, deviceID, ElektronBackupProfile::monomachineStock);
}

}  // namespace k7
