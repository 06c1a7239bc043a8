#pragma once

#include <cstdint>
#include <string_view>

#include "K7Core/ElektronWire/ElektronProduct.h"

namespace k7 {

// The instruments whose backups can be validated and repaired.
enum class ElektronBackupMachine : uint8_t { machinedrum, monomachine };

constexpr ElektronProduct productOf(ElektronBackupMachine machine) {
    return machine == ElektronBackupMachine::machinedrum ? ElektronProduct::machinedrum : ElektronProduct::monomachine;
}

// "Machinedrum" or "Monomachine", as user texts name the instrument.
constexpr std::string_view displayName(ElektronBackupMachine machine) {
    return machine == ElektronBackupMachine::machinedrum ? "Machinedrum" : "Monomachine";
}

}  // namespace k7
