#pragma once

#include <string>
#include <variant>

#include "K7Core/ElektronWire/ElektronProduct.h"
#include "K7Core/Turbo/ElektronTurboCommand.h"

namespace k7 {

namespace elektron_family {
struct Product {
    ElektronProduct product;
    bool operator==(const Product&) const = default;
};
struct Turbo {
    ElektronTurboCommand command;
    bool operator==(const Turbo&) const = default;
};
struct SPS1UWFileName {
    bool operator==(const SPS1UWFileName&) const = default;
};
struct DigiPROWaveform {
    bool operator==(const DigiPROWaveform&) const = default;
};
}  // namespace elektron_family

// What kind of Elektron message a SysEx frame is.
using ElektronSysExFamily = std::variant<elektron_family::Product, elektron_family::Turbo,
                                         elektron_family::SPS1UWFileName, elektron_family::DigiPROWaveform>;

std::string describe(const ElektronSysExFamily& family);

}  // namespace k7
