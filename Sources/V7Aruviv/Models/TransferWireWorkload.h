#pragma once

#include <cstdint>
#include <variant>
#include <vector>

#include "V7Aruviv/Models/SDSDumpWireWorkload.h"
#include "V7Aruviv/Support/VariantAlternative.h"

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
}  // namespace transfer_wire_workload

// What an item costs on the wire.
class TransferWireWorkload {
public:
    using SDSFile = transfer_wire_workload::SDSFile;
    using RawSysEx = transfer_wire_workload::RawSysEx;
    using AudioSDS = transfer_wire_workload::AudioSDS;
    using Unavailable = transfer_wire_workload::Unavailable;
    using Case = std::variant<SDSFile, RawSysEx, AudioSDS, Unavailable>;

    TransferWireWorkload() : value_(Unavailable{}) {}
    template <typename T>
        requires VariantAlternative<T, Case>
    TransferWireWorkload(T value) : value_(std::move(value)) {}

    static TransferWireWorkload sdsFile(std::vector<SDSDumpWireWorkload> dumps) { return SDSFile{std::move(dumps)}; }
    static TransferWireWorkload rawSysEx(int64_t wireBytes) { return RawSysEx{wireBytes}; }

    const Case& value() const { return value_; }
    template <typename T>
    bool is() const {
        return std::holds_alternative<T>(value_);
    }
    template <typename T>
    const T* as() const {
        return std::get_if<T>(&value_);
    }

    bool operator==(const TransferWireWorkload&) const = default;

private:
    Case value_;
};

}  // namespace k7
