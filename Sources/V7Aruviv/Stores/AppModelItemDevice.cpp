#include <set>

#include "K7Core/Elektron/ElektronSysEx.h"
#include "K7Core/Support/Overloaded.h"
#include "V7Aruviv/Stores/AppModel.h"

namespace k7 {

namespace {

TransferItem::Device deviceOf(ElektronProduct product) {
    switch (product) {
    case ElektronProduct::sidstation: return TransferItem::Device::sidstation;
    case ElektronProduct::machinedrum: return TransferItem::Device::machinedrum;
    case ElektronProduct::monomachine: return TransferItem::Device::monomachine;
    case ElektronProduct::octatrack: return TransferItem::Device::octatrack;
    case ElektronProduct::analogFour: return TransferItem::Device::analogFour;
    case ElektronProduct::analogRytm: return TransferItem::Device::analogRytm;
    }
    return TransferItem::Device::unknown;
}

}  // namespace

TransferItem::Device AppModel::device(const std::vector<Bytes>& messages) {
    std::optional<TransferItem::Device> found;
    for (const Bytes& message : messages) {
        const auto family = ElektronSysEx::validatedFamily(message);
        if (!family) continue;
        const auto device = std::visit(
            Overloaded{[](const elektron_family::Product& product) { return deviceOf(product.product); },
                       [](const elektron_family::Turbo&) { return TransferItem::Device::tm1; },
                       [](const elektron_family::SPS1UWFileName&) { return TransferItem::Device::machinedrum; },
                       [](const elektron_family::DigiPROWaveform&) { return TransferItem::Device::monomachine; }},
            *family);
        if (found && *found != device) return TransferItem::Device::multiple;
        found = device;
    }
    return found.value_or(TransferItem::Device::unknown);
}

}  // namespace k7
