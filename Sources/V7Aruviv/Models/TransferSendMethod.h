#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "V7Aruviv/Support/CaseValue.h"

namespace k7 {

namespace transfer_send_method {
// A SysEx file of complete SDS dumps, sent dump by dump as SDS.
struct SDSFile {
    int64_t dumpCount;
    bool operator==(const SDSFile&) const = default;
};
// Cannot be sent; the reason is shown to the user.
struct Invalid {
    std::string reason;
    bool operator==(const Invalid&) const = default;
};
// WAV or AIFF with decoded audio, sent as an SDS dump made from it.
struct AudioSDS {
    bool operator==(const AudioSDS&) const = default;
};
struct RawDigiPRO {
    bool operator==(const RawDigiPRO&) const = default;
};
struct RawFirmware {
    bool operator==(const RawFirmware&) const = default;
};
struct RawElektronData {
    bool operator==(const RawElektronData&) const = default;
};
struct RawGenericSysEx {
    bool operator==(const RawGenericSysEx&) const = default;
};
// A kind that is never sent (a file list, an unknown file).
struct Unsupported {
    bool operator==(const Unsupported&) const = default;
};
using Case =
    std::variant<SDSFile, Invalid, AudioSDS, RawDigiPRO, RawFirmware, RawElektronData, RawGenericSysEx, Unsupported>;
}  // namespace transfer_send_method

// How an item would be sent, decided once by the send analysis.
class TransferSendMethod : public CaseValue<transfer_send_method::Case> {
public:
    using CaseValue::CaseValue;
    using SDSFile = transfer_send_method::SDSFile;
    using Invalid = transfer_send_method::Invalid;
    using AudioSDS = transfer_send_method::AudioSDS;
    using RawDigiPRO = transfer_send_method::RawDigiPRO;
    using RawFirmware = transfer_send_method::RawFirmware;
    using RawElektronData = transfer_send_method::RawElektronData;
    using RawGenericSysEx = transfer_send_method::RawGenericSysEx;
    using Unsupported = transfer_send_method::Unsupported;

    TransferSendMethod() : CaseValue(Unsupported{}) {}

    static TransferSendMethod sdsFile(int64_t dumpCount) { return SDSFile{dumpCount}; }
    static TransferSendMethod invalid(std::string reason) { return Invalid{std::move(reason)}; }
    // The reason of an invalid method.
    std::optional<std::string> invalidReason() const {
        if (const auto* invalid = as<Invalid>()) return invalid->reason;
        return std::nullopt;
    }

    // The case name with its payload: "sdsFile(dumpCount: 2)", "invalid(\"...\")".
    std::string describe() const;

    bool operator==(const TransferSendMethod&) const = default;
};

}  // namespace k7
