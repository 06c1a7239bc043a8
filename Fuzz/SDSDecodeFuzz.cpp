// Feeds arbitrary bytes to every SDS decoder, the stored-dump splitter and a receiver.
// Expected failures are the typed errors; anything else (a crash, a sanitizer report, another
// exception) is a finding.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "K7Core/SDS/SDSControlMessage.h"
#include "K7Core/SDS/SDSDataPacket.h"
#include "K7Core/SDS/SDSDumpHeaderMessage.h"
#include "K7Core/SDS/SDSDumpRequest.h"
#include "K7Core/SDS/SDSError.h"
#include "K7Core/SDS/SDSFileTransferCodec.h"
#include "K7Core/SDS/SDSFileTransferError.h"
#include "K7Core/SDS/SDSReceiverStateMachine.h"
#include "K7Core/SDS/SDSSampleNameMessage.h"
#include "K7Core/SDS/SDSSampleNameRequest.h"
#include "K7Core/SDS/SDSSenderStateMachine.h"
#include "K7Core/SysEx/SysExFileCodec.h"
#include "K7Core/SysEx/SysExParseError.h"

namespace {

template <typename Decode>
void tryDecode(Decode decode) {
    try {
        decode();
    } catch (const k7::SDSError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const k7::ByteView frame(data, size);
    tryDecode([&] {
        const auto header = k7::SDSDumpHeaderMessage::decode(frame);
        if (header.encode() != k7::Bytes(frame.begin(), frame.end())) __builtin_trap();
    });
    tryDecode([&] {
        const auto packet = k7::SDSDataPacket::decode(frame);
        if (packet.hasValidChecksum() && packet.encode() != k7::Bytes(frame.begin(), frame.end())) __builtin_trap();
    });
    tryDecode([&] { k7::SDSControlMessage::decode(frame); });
    tryDecode([&] {
        const auto name = k7::SDSSampleNameMessage::decode(frame);
        if (name.encode() != k7::Bytes(frame.begin(), frame.end())) __builtin_trap();
    });
    tryDecode([&] { k7::SDSDumpRequest::decode(frame); });
    tryDecode([&] { k7::SDSSampleNameRequest::decode(frame); });

    // The same bytes as a stored file: split it, re-send what it holds, and receive it.
    k7::SysExFileCodec::ParseResult parsed;
    try {
        parsed = k7::SysExFileCodec::parse(frame, 65536, 4096);
    } catch (const k7::SysExParseError&) {
        return 0;
    }
    try {
        if (const auto transfers = k7::SDSFileTransferCodec::transfers(parsed.messages)) {
            for (const auto& transfer : *transfers) {
                k7::SDSSenderConfiguration configuration;
                configuration.mode = k7::SDSTransferMode::openLoop;
                const k7::SDSSenderStateMachine sender(transfer, configuration);
                if (sender.totalWireBytes() != transfer.wireByteCount()) __builtin_trap();
            }
        }
    } catch (const k7::SDSFileTransferError&) {
    }
    k7::SDSReceiverConfiguration configuration;
    configuration.packetTimeout = std::chrono::seconds(1);
    configuration.maximumSampleWords = 1 << 20;
    k7::SDSReceiverStateMachine receiver(configuration);
    uint64_t timer = 0;
    for (const auto& message : parsed.messages) {
        for (const auto& action : receiver.handle(k7::sds_receiver_event::Message{message})) {
            if (const auto* t = std::get_if<k7::sds_receiver_action::ScheduleTimeout>(&action)) timer = t->id;
        }
        if (message.size() % 7 == 0) receiver.handle(k7::sds_receiver_event::Timeout{timer});
    }
    receiver.handle(k7::sds_receiver_event::Cancel{});
    return 0;
}
