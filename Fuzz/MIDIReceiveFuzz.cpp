// Arbitrary byte chunks through the whole receive path of the mock transport (ring, framing,
// cancellation, drain), with a ring small enough to overflow. Checks that nothing delivered is
// ever altered: every message is one framed SysEx message made of received bytes, and without
// losses or cancels the messages are exactly those a one-shot framing of the stream finds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "K7Core/SysEx/SysExStreamParser.h"
#include "K7Dispatch/ManualScheduler.h"
#include "K7MIDI/Transport/MockMIDITransport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace k7;
    auto scheduler = std::make_shared<ManualScheduler>();
    MockMIDITransportOptions options;
    options.scheduler = scheduler;
    options.receivePath.ringCapacity = 64;
    options.receivePath.maximumMessageBytes = 48;
    MockMIDITransport transport(MIDIEndpointSnapshot{{{1, "In", {}, {}, true}}, {}}, options);
    std::vector<Bytes> messages;
    std::size_t issues = 0;
    Bytes raw;
    transport.onReceiveBytes = [&](const Bytes& message) { messages.push_back(message); };
    transport.onTransportIssue = [&](const MIDITransportIssue&) { ++issues; };
    transport.onRawReceiveBatch = [&](const MIDIRawReceiveBatch& batch) {
        raw.insert(raw.end(), batch.bytes.begin(), batch.bytes.end());
    };
    transport.selectInput(1);

    Bytes accepted;
    bool disturbed = false;
    std::size_t at = 0;
    while (at < size) {
        const uint8_t control = data[at++];
        const std::size_t length = std::min<std::size_t>(control & 0x1F, size - at);
        switch (control >> 5) {
            case 0: transport.holdIngress(); break;
            case 1: transport.releaseIngress(); break;
            case 2:
                transport.cancelPendingReceives();
                disturbed = true;
                break;
            case 3:
                transport.drainPendingReceives(std::chrono::milliseconds(control & 3), std::chrono::milliseconds(2),
                                               [&](MIDIReceiveDrainResult result) {
                                                   if (result.incompleteMessageByteCount) disturbed = true;
                                               });
                break;
            case 4: scheduler->advance(std::chrono::milliseconds(1)); break;
            default: break;
        }
        const ByteView chunk(data + at, length);
        if (transport.inject(chunk)) {
            accepted.insert(accepted.end(), chunk.begin(), chunk.end());
        } else {
            disturbed = true;
        }
        at += length;
    }
    transport.releaseIngress();
    scheduler->runAll();

    if (raw != accepted) std::abort();
    for (const auto& message : messages) {
        if (!isFramedSysEx(message) || message.size() > 48) std::abort();
    }
    if (!disturbed) {
        SysExStreamParser oracle(48);
        std::vector<Bytes> expected;
        for (auto& event : oracle.feed(accepted)) {
            if (auto* message = std::get_if<sysex_parse_event::Message>(&event)) expected.push_back(message->bytes);
        }
        if (expected != messages) std::abort();
    }
    return 0;
}
