#include "K7Core/ElektronWire/ElektronProduct.h"

namespace k7 {

std::optional<ElektronProduct> elektronProductFromByte(uint8_t byte) {
    switch (byte) {
        case 1: return ElektronProduct::sidstation;
        case 2: return ElektronProduct::machinedrum;
        case 3: return ElektronProduct::monomachine;
        case 5: return ElektronProduct::octatrack;
        case 6: return ElektronProduct::analogFour;
        case 7: return ElektronProduct::analogRytm;
        default: return std::nullopt;
    }
}

std::string_view displayName(ElektronProduct product) {
    switch (product) {
        case ElektronProduct::sidstation: return "SIDstation";
        case ElektronProduct::machinedrum: return "Machinedrum";
        case ElektronProduct::monomachine: return "Monomachine";
        case ElektronProduct::octatrack: return "Octatrack";
        case ElektronProduct::analogFour: return "Analog Four";
        case ElektronProduct::analogRytm: return "Analog Rytm";
    }
    return "Elektron";
}

}  // namespace k7
