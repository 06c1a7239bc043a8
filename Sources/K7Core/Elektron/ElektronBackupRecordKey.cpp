#include "K7Core/Elektron/ElektronBackupRecordKey.h"

namespace k7 {

ElektronBackupRecordKey::ElektronBackupRecordKey(ElektronBackupMachine machine, ElektronBackupCommand command,
                                                 uint8_t position)
    : value_(machine == ElektronBackupMachine::machinedrum ? Value(MachinedrumRecordKey{command, position})
                                                           : Value(MonomachineRecordKey{command, position})) {}

ElektronBackupMachine ElektronBackupRecordKey::machine() const {
    return std::holds_alternative<MachinedrumRecordKey>(value_) ? ElektronBackupMachine::machinedrum
                                                                : ElektronBackupMachine::monomachine;
}

ElektronBackupCommand ElektronBackupRecordKey::command() const {
    return std::visit([](const auto& key) { return key.command; }, value_);
}

uint8_t ElektronBackupRecordKey::position() const {
    return std::visit([](const auto& key) { return key.position; }, value_);
}

std::string ElektronBackupRecordKey::displayName() const {
    std::string name(k7::displayName(command()));
    name += ' ';
    name += std::to_string(position());
    return name;
}

}  // namespace k7
