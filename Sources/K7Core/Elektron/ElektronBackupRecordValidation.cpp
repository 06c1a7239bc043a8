#include "K7Core/Elektron/ElektronBackupRecordValidation.h"

#include <algorithm>
#include <array>

#include "K7Core/Elektron/ElektronSysEx.h"
#include "K7Core/ElektronWire/ElektronSevenBit.h"

namespace k7 {

namespace {

std::optional<ElektronBackupRecordFault> machinedrumSizeFault(ElektronBackupCommand command, std::size_t size) {
    bool expected = false;
    switch (command) {
        case ElektronBackupCommand::global: expected = size == 197; break;
        case ElektronBackupCommand::kit: expected = size == 1233; break;
        // A pattern longer than 32 steps carries a second block of locks.
        case ElektronBackupCommand::pattern: expected = size == 2763 || size == 5410; break;
        // 16 name bytes, then 12 bytes per song row.
        case ElektronBackupCommand::song: expected = size >= 31 && (size - 31) % 12 == 0; break;
    }
    if (expected) return std::nullopt;
    return ElektronBackupRecordFault::unexpectedSize;
}

// Monomachine payloads are run-length packed, then 7-bit encoded as one block. The instrument may
// close the block with an empty group (a lone zero high-bit byte), which carries nothing.
bool monomachinePayloadUnpacks(ByteView encoded) {
    if (encoded.size() % 8 == 1 && encoded.back() == 0) encoded = encoded.first(encoded.size() - 1);
    const auto packed = ElektronSevenBit::decode(encoded);
    if (!packed) return false;
    // 0x80 | n says the next byte occurs n times; n = 0 and a dangling marker are never written.
    // Walked byte by byte with one bit of state (does this byte repeat?), so the loop has no
    // data-dependent branch or stride.
    unsigned repeated = 0;
    unsigned emptyRun = 0;
    for (const uint8_t byte : *packed) {
        const unsigned isMarker = ~repeated & (byte >> 7);
        emptyRun |= isMarker & static_cast<unsigned>(byte == 0x80);
        repeated = isMarker;
    }
    return emptyRun == 0 && repeated == 0;
}

}  // namespace

std::string_view describe(ElektronBackupRecordFault fault) {
    switch (fault) {
        case ElektronBackupRecordFault::malformedFrame: return "malformedFrame";
        case ElektronBackupRecordFault::truncated: return "truncated";
        case ElektronBackupRecordFault::lengthMismatch: return "lengthMismatch";
        case ElektronBackupRecordFault::checksumMismatch: return "checksumMismatch";
        case ElektronBackupRecordFault::unexpectedSize: return "unexpectedSize";
        case ElektronBackupRecordFault::undecodablePayload: return "undecodablePayload";
    }
    return "";
}

std::optional<ElektronBackupRecordValidation> ElektronBackupRecordValidation::validate(ByteView message,
                                                                                       ElektronBackupMachine machine) {
    if (message.size() < 7 || !ElektronSysEx::hasManufacturerID(message)) return std::nullopt;
    if (message[4] != static_cast<uint8_t>(productOf(machine))) return std::nullopt;
    const auto command = elektronBackupCommandFromDumpID(message[6]);
    if (!command) return std::nullopt;

    ElektronBackupRecordValidation record{machine, *command, std::nullopt, message[5], std::nullopt};
    const std::size_t size = message.size();
    // The position exists when offset 9 is a byte of the message's body, not its end.
    if (size > headerByteCount && message[9] < 0x80) record.encodedPosition = message[9];

    if (!isFramedSysEx(message)) {
        record.fault = ElektronBackupRecordFault::malformedFrame;
        return record;
    }
    if (size < headerByteCount + footerByteCount) {
        record.fault = ElektronBackupRecordFault::truncated;
        return record;
    }
    const auto fourteenBits = [&](std::size_t offset) {
        return static_cast<std::size_t>(message[offset]) << 7 | message[offset + 1];
    };
    if (fourteenBits(size - 3) != size - headerByteCount) {
        record.fault = ElektronBackupRecordFault::lengthMismatch;
        return record;
    }
    std::size_t sum = 0;
    for (std::size_t i = 9; i < size - footerByteCount; ++i) sum += message[i];
    if (fourteenBits(size - footerByteCount) != (sum & 0x3FFF)) {
        record.fault = ElektronBackupRecordFault::checksumMismatch;
        return record;
    }
    if (machine == ElektronBackupMachine::machinedrum) {
        record.fault = machinedrumSizeFault(*command, size);
    } else if (!monomachinePayloadUnpacks(
                   message.subspan(headerByteCount, size - headerByteCount - footerByteCount))) {
        record.fault = ElektronBackupRecordFault::undecodablePayload;
    }
    return record;
}

}  // namespace k7
