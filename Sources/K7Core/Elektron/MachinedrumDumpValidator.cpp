#include "K7Core/Elektron/MachinedrumDumpValidator.h"

#include "K7Core/Elektron/ElektronBackupAnalysis.h"

namespace k7 {

ElektronBackupValidationReport MachinedrumDumpValidator::validate(std::span<const Bytes> messages) {
    const auto profile = detail::detectProfile(ElektronBackupMachine::machinedrum, messages);
    return detail::makeValidationReport(detail::analyzeElektronBackup(messages, profile));
}

std::optional<ElektronBackupRecordValidation> MachinedrumDumpValidator::validate(ByteView message) {
    return ElektronBackupRecordValidation::validate(message, ElektronBackupMachine::machinedrum);
}

}  // namespace k7
