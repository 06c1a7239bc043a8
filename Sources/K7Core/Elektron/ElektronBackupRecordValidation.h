#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "K7Core/Elektron/ElektronBackupCommand.h"
#include "K7Core/Elektron/ElektronBackupMachine.h"
#include "K7Core/Elektron/ElektronBackupRecordKey.h"
#include "K7Core/Support/Bytes.h"

namespace k7 {

// Why a dump record cannot be trusted.
enum class ElektronBackupRecordFault : uint8_t {
    malformedFrame,      // not F0 ... F7 with data bytes between
    truncated,           // too short to hold the header and the footer
    lengthMismatch,      // the length field is not the message length minus 10
    checksumMismatch,    // the 14-bit sum from the position byte disagrees
    unexpectedSize,      // a Machinedrum record of a size that kind never has
    undecodablePayload,  // a Monomachine payload that does not decode or unpack
};

std::string_view describe(ElektronBackupRecordFault fault);

// One Machinedrum or Monomachine dump record (global, kit, pattern or song), checked on its own.
//
// Layout: F0 00 20 3C <product> <device> <message ID> <version> <revision> <position> <payload>
// <checksum hi> <checksum lo> <length hi> <length lo> F7. The checksum is the sum of the bytes from
// the position to the end of the payload, 14 bits; the length field counts the message minus 10.
struct ElektronBackupRecordValidation {
    static constexpr std::size_t headerByteCount = 10;
    static constexpr std::size_t footerByteCount = 5;

    ElektronBackupMachine machine;
    ElektronBackupCommand command;
    // The raw position byte at offset 9; nil when the message is too short to carry one.
    std::optional<uint8_t> encodedPosition;
    // The byte after the product byte: the instruments send 00 and ignore it on requests.
    uint8_t deviceID = 0;
    std::optional<ElektronBackupRecordFault> fault;

    bool isValid() const { return !fault.has_value(); }
    std::optional<ElektronBackupRecordKey> key() const {
        if (!encodedPosition) return std::nullopt;
        return ElektronBackupRecordKey(machine, command, *encodedPosition);
    }

    // nil when the message is not a dump record of that machine.
    static std::optional<ElektronBackupRecordValidation> validate(ByteView message, ElektronBackupMachine machine);

    bool operator==(const ElektronBackupRecordValidation&) const = default;
};

}  // namespace k7
