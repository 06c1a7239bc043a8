#include "K7Core/Elektron/MonomachineDumpValidator.h"

#include "K7Core/Elektron/ElektronBackupAnalysis.h"

namespace k7 {

ElektronBackupValidationReport MonomachineDumpValidator::validate(std::span<const Bytes> messages) {
    const auto profile = detail::detectProfile(ElektronBackupMachine::monomachine, messages);
    return detail::makeValidationReport(detail::analyzeElektronBackup(messages, profile));
}

std::optional<ElektronBackupRecordValidation> MonomachineDumpValidator::validate(ByteView message) {
    return ElektronBackupRecordValidation::validate(message, ElektronBackupMachine::monomachine);
}

}  // namespace k7
