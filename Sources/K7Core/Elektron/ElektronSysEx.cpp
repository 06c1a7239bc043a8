#include "K7Core/Elektron/ElektronSysEx.h"

#include <algorithm>

#include "K7Core/SPS1UW/SPS1UWFileNameMessage.h"
#include "K7Core/Support/ErrorDescription.h"
#include "K7Core/Support/Overloaded.h"
#include "K7Core/Turbo/TurboFrame.h"
#include "K7Core/Turbo/TurboSpeed.h"
#include "K7Core/Elektron/ElektronDigiPROValidation.h"

namespace k7 {

namespace {
template <std::size_t N>
bool startsWith(ByteView frame, const std::array<uint8_t, N>& prefix) {
    return frame.size() >= N && std::equal(prefix.begin(), prefix.end(), frame.begin());
}

std::string caseNameOf(ElektronProduct product) {
    switch (product) {
        case ElektronProduct::sidstation: return "sidstation";
        case ElektronProduct::machinedrum: return "machinedrum";
        case ElektronProduct::monomachine: return "monomachine";
        case ElektronProduct::octatrack: return "octatrack";
        case ElektronProduct::analogFour: return "analogFour";
        case ElektronProduct::analogRytm: return "analogRytm";
    }
    return "unknown";
}

std::string caseNameOf(ElektronTurboCommand command) {
    switch (command) {
        case ElektronTurboCommand::query: return "query";
        case ElektronTurboCommand::response: return "response";
        case ElektronTurboCommand::limit: return "limit";
    }
    return "unknown";
}
}  // namespace

std::string describe(const ElektronSysExFamily& family) {
    return std::visit(Overloaded{
                          [](const elektron_family::Product& f) {
                              return describeCase("product", {field("", "." + caseNameOf(f.product))});
                          },
                          [](const elektron_family::Turbo& f) {
                              return describeCase("turbo", {field("", "." + caseNameOf(f.command))});
                          },
                          [](const elektron_family::SPS1UWFileName&) { return std::string("sps1UWFileName"); },
                          [](const elektron_family::DigiPROWaveform&) { return std::string("digiPROWaveform"); },
                      },
                      family);
}

bool ElektronSysEx::hasManufacturerID(ByteView frame) {
    return frame.size() >= 4 && frame[0] == sysExStart &&
           std::equal(manufacturerID.begin(), manufacturerID.end(), frame.begin() + 1);
}

std::optional<ElektronSysExFamily> ElektronSysEx::family(ByteView frame) {
    if (!hasManufacturerID(frame)) return std::nullopt;
    if (startsWith(frame, turboPrefix)) {
        if (frame.size() <= turboPrefix.size()) return std::nullopt;
        const auto command = elektronTurboCommandFromByte(frame[turboPrefix.size()]);
        if (!command) return std::nullopt;
        return elektron_family::Turbo{*command};
    }
    if (startsWith(frame, digiPROWaveformPrefix)) return elektron_family::DigiPROWaveform{};
    if (frame.size() < 5) return std::nullopt;
    const auto product = elektronProductFromByte(frame[4]);
    if (!product) return std::nullopt;
    if (*product == ElektronProduct::machinedrum && frame.size() >= 7 && frame[6] == sps1UWFileNameCommand) {
        return elektron_family::SPS1UWFileName{};
    }
    return elektron_family::Product{*product};
}

std::optional<ElektronSysExFamily> ElektronSysEx::validatedFamily(ByteView frame) {
    if (!isFramedSysEx(frame)) return std::nullopt;
    auto shape = family(frame);
    if (!shape) return std::nullopt;
    const bool valid = std::visit(Overloaded{
                                      [&](const elektron_family::Product&) { return true; },
                                      [&](const elektron_family::Turbo&) {
                                          try {
                                              TurboFrame::decode(frame);
                                              return true;
                                          } catch (const TurboFrameError&) {
                                              return false;
                                          }
                                      },
                                      [&](const elektron_family::SPS1UWFileName&) {
                                          return SPS1UWFileNameMessage::decode(frame).has_value();
                                      },
                                      [&](const elektron_family::DigiPROWaveform&) {
                                          return detail::isValidDigiPROWaveformFrame(frame);
                                      },
                                  },
                                  *shape);
    if (!valid) return std::nullopt;
    return shape;
}

}  // namespace k7
