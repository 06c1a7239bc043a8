#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "K7Core/SDS/SDSDataPacket.h"
#include "K7Core/SDS/SDSDumpHeader.h"
#include "K7Core/SDS/SDSSamplePacking.h"
#include "K7Dispatch/ManualScheduler.h"
#include "K7MIDI/SDS/SDSReceiveSession.h"
#include "K7MIDI/Transport/MockMIDITransport.h"

namespace {

// Two seconds of 16-bit audio at 44100 Hz as a sampler sends it: the header and 2205 packets.
std::vector<k7::Bytes> twoSecondDump() {
    constexpr uint32_t words = 88200;
    std::vector<k7::Bytes> messages{k7::SDSDumpHeader(0, 1, 16, 44100.0, words, 0, 0, 0x7F).encode()};
    std::vector<int32_t> samples(words);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int32_t>(i * 2654435761u % 65536) - 32768;
    const std::size_t perPacket = k7::SDSSamplePacking::wordsPerPacket(16);
    for (std::size_t start = 0, number = 0; start < samples.size(); start += perPacket, ++number) {
        k7::SDSDataPacket::Payload payload{};
        k7::SDSSamplePacking::pack(std::span(samples).subspan(start, std::min(perPacket, samples.size() - start)), 16,
                                   payload);
        messages.push_back(k7::SDSDataPacket::make(0, static_cast<uint8_t>(number & 0x7F), payload).encode());
    }
    return messages;
}

// The session's own cost per dump (queue hops, state machine, completion with decoded audio),
// with the handshake answers going to a mock that records them.
void receiveTwoSecondDump(benchmark::State& state) {
    const bool handshake = state.range(0) != 0;
    const auto dump = twoSecondDump();
    auto scheduler = std::make_shared<k7::ManualScheduler>();
    k7::MockMIDITransportOptions options;
    options.scheduler = scheduler;
    auto transport = std::make_shared<k7::MockMIDITransport>(
        k7::MIDIEndpointSnapshot{{}, {{2, "Out", std::nullopt, std::nullopt, true}}}, options);
    transport->selectOutput(2);
    k7::SDSReceiverConfiguration configuration;
    configuration.mode = handshake ? k7::SDSTransferMode::handshake : k7::SDSTransferMode::openLoop;
    configuration.packetTimeout = std::chrono::seconds(5);
    std::size_t completed = 0;
    for (auto _ : state) {
        k7::SDSReceiveSession session(transport, configuration, k7::SDSReceiveFormat::wav, scheduler, scheduler,
                                      std::chrono::seconds(5), std::chrono::milliseconds(50), scheduler);
        session.onCompleted = [&](const k7::SDSReceiveCompletion&) { ++completed; };
        for (const auto& message : dump) {
            session.receive(message);
            scheduler->runUntilIdle();
        }
        scheduler->advance(std::chrono::milliseconds(50));
        transport->clearSentMessages();
    }
    if (completed != static_cast<std::size_t>(state.iterations())) state.SkipWithError("a dump did not complete");
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(dump.size()));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(dump.size() * dump.back().size()));
}
BENCHMARK(receiveTwoSecondDump)->Arg(0)->Arg(1)->ArgName("handshake")->Unit(benchmark::kMillisecond);

}  // namespace
