#pragma once

#include <cstdint>
#include <variant>
#include <vector>

#include "V7Aruviv/Models/SDSDumpWireWorkload.h"
#include "V7Aruviv/Support/CaseValue.h"

namespace k7 {

namespace transfer_wire_workload {
// One entry per stored dump, in file order.
struct SDSFile {
    std::vector<SDSDumpWireWorkload> dumps;
    bool operator==(const SDSFile&) const = default;
};
// All complete messages; separator bytes between them do not go on the wire.
struct RawSysEx {
    int64_t wireBytes;
    bool operator==(const RawSysEx&) const = default;
};
// Depends on the send options; computed when a send is planned.
struct AudioSDS {
    bool operator==(const AudioSDS&) const = default;
};
struct Unavailable {
    bool operator==(const Unavailable&) const = default;
};
using Case = std::variant<SDSFile, RawSysEx, AudioSDS, Unavailable>;
}  // namespace transfer_wire_workload

// What an item costs on the wire.
class TransferWireWorkload : public CaseValue<transfer_wire_workload::Case> {
public:
    using CaseValue::CaseValue;
    using SDSFile = transfer_wire_workload::SDSFile;
    using RawSysEx = transfer_wire_workload::RawSysEx;
    using AudioSDS = transfer_wire_workload::AudioSDS;
    using Unavailable = transfer_wire_workload::Unavailable;

    TransferWireWorkload() : CaseValue(Unavailable{}) {}

    static TransferWireWorkload sdsFile(std::vector<SDSDumpWireWorkload> dumps) { return SDSFile{std::move(dumps)}; }
    static TransferWireWorkload rawSysEx(int64_t wireBytes) { return RawSysEx{wireBytes}; }

    bool operator==(const TransferWireWorkload&) const = default;
};

}  // namespace k7
