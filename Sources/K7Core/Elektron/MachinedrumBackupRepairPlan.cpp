#include "K7Core/Elektron/MachinedrumBackupRepairPlan.h"

#include "K7Core/Elektron/ElektronBackupRequest.h"

namespace k7 {

std::optional<Bytes> MachinedrumBackupRepairPlan::request(const ElektronBackupRecordKey& key, uint8_t deviceID) {
    return detail::elektronBackupRequest(key, deviceID, ElektronBackupProfile::machinedrum);
}

}  // namespace k7
