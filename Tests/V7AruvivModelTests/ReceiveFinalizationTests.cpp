// What a receive leaves in the list when it ends: DigiPRO waveforms by slot and name, whole,
// split or damaged, and everything else byte for byte in one raw item.
#include <gtest/gtest.h>

#include <fstream>

// Before any Qt header, whose `emit` keyword would swallow the emitter's function name.
#include "Support/SimulatedDigiPROEmitter.h"

#include "K7Core/DigiPRO/DigiPROWaveform.h"
#include "K7Core/SysEx/SysExFileCodec.h"
#include "Support/Model/CapturedDiagnostics.h"
#include "Support/Model/ReceiveRig.h"

namespace k7::testing {
namespace {

using namespace std::chrono_literals;
using State = TransferItem::State;
using Order = SimulatedDigiPROEmitter::Order;

AppModelRig::Options quietOptions() {
    AppModelRig::Options options;
    options.automaticallyDetectTurbo = false;
    return options;
}

void arrive(AppModelRig& rig, const std::vector<Bytes>& messages) {
    for (std::size_t i = 0; i < messages.size(); ++i) rig.wire().injectAfter(i * 10ms, messages[i]);
    rig.runFor(messages.size() * 10ms);
}

std::string failureText(const std::string& label, const std::string& what) {
    return label + what + " Captured bytes were retained unchanged; sending is blocked. Re-receive this slot.";
}

TEST(ReceiveDigiPRO, WaveformsWholeSplitEitherWayOrDamagedBecomeItemsBySlot) {
    const Bytes saw = SimulatedDigiPROEmitter::waveform(5, "SAW1");
    const Bytes square = SimulatedDigiPROEmitter::waveform(9, "SQR2");
    const Bytes triangle = SimulatedDigiPROEmitter::waveform(12, "TRI3");
    Bytes damaged = SimulatedDigiPROEmitter::waveform(3, "BAD1");
    damaged[500] ^= 0x01;
    Bytes noSlot = saw;
    noSlot[9] = 0x45;
    const auto squarePieces = SimulatedDigiPROEmitter::split(square, 3999, 3027);
    const auto trianglePieces = SimulatedDigiPROEmitter::split(triangle, 2500, 5000, Order::continuationsFirst);
    const Bytes cutOff = SimulatedDigiPROEmitter::split(SimulatedDigiPROEmitter::waveform(20, "SAW4"), 3999, 3027)[0];
    const Bytes other{0xF0, 0x7E, 0x00, 0x7F, 0x00, 0xF7};
    const Bytes another{0xF0, 0x00, 0x20, 0x3C, 0x02, 0x00, 0x10, 0xF7};  // Elektron traffic passes a held piece

    AppModelRig rig(quietOptions());
    CapturedDiagnostics capture(rig);
    pressReceive(rig);
    arrive(rig, {saw, other, squarePieces[0], another, squarePieces[1], trianglePieces[0], trianglePieces[1],
                 damaged, noSlot, cutOff});
    ASSERT_TRUE(stopReceiveAndFinish(rig));

    struct Expected {
        std::string name;
        const Bytes* data;
        bool failed;
    };
    const std::vector<Expected> expected{
        {"DigiPRO 05 - SAW1.syx", &saw, false},
        {"DigiPRO 09 - SQR2.syx", &square, false},
        {"DigiPRO 12 - TRI3.syx", &triangle, false},
        {"DigiPRO 03 - BAD1 (invalid).syx", &damaged, true},
        {"DigiPRO response (invalid).syx", &noSlot, true},
        {"DigiPRO 20 - SAW4 (incomplete).syx", &cutOff, true},
    };
    const auto& items = rig->items();
    ASSERT_EQ(items.size(), expected.size() + 1);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(items[i].displayName, expected[i].name);
        EXPECT_EQ(items[i].data, *expected[i].data);
        EXPECT_EQ(items[i].device, TransferItem::Device::monomachine);
        EXPECT_EQ(items[i].state.is<State::Failed>(), expected[i].failed);
        EXPECT_EQ(items[i].sendMethod.is<TransferSendMethod::Invalid>(), expected[i].failed);
        if (expected[i].failed) {
            EXPECT_EQ(items[i].detail, items[i].state.as<State::Failed>()->reason);
        }
    }
    EXPECT_EQ(items[0].detail, "DigiPRO position 5: 7027 bytes; length, checksum, and payload packing verified.");
    const std::string incomplete =
        "DigiPRO position 20 (SAW4) is incomplete: expected 7027 bytes, received 4000. Captured bytes were retained "
        "unchanged; sending is blocked. Re-receive this slot.";
    EXPECT_EQ(items[5].detail, incomplete);
    EXPECT_EQ(items[4].detail,
              failureText("DigiPRO (SAW1) failed validation: ",
                          "The DigiPRO waveform message is for position 69, but waveform positions run from 0 to 63."));
    EXPECT_TRUE(items[3].detail.starts_with(
        "DigiPRO position 3 (BAD1) failed validation: The DigiPRO waveform message's checksum is "))
        << items[3].detail;

    // The rest, in arrival order; the failures, each once, in its detail and the status.
    const auto& raw = items.back();
    EXPECT_EQ(raw.displayName, "Received data 1.syx");
    EXPECT_EQ(raw.data, SysExFileCodec::join({other, another}));
    EXPECT_EQ(raw.detail, "SysEx received; bytes were kept unchanged after an SDS receive issue. " + items[3].detail +
                              "; " + items[4].detail + "; " + incomplete);  // its full stop not doubled
    EXPECT_EQ(rig->statusText(), "Receive error: " + incomplete + "; raw SysEx retained");
    EXPECT_EQ(rig->alertMessage(), incomplete);
    EXPECT_EQ(rig->selection().size(), items.size());

    EXPECT_EQ(capture.events("digipro.receive.fragmentsJoined").at(0).fields,
              (std::map<std::string, std::string>{
                  {"position", "9"}, {"fragmentCount", "2"}, {"rawByteCount", "7029"}, {"messageByteCount", "7027"}}));
    EXPECT_EQ(capture.events("digipro.receive.finalFragmentsConsolidated").at(0).fields.at("position"), "12");
    EXPECT_EQ(capture.events("digipro.receive.fragmentJoinFlushed").at(0).fields.at("position"), "20");
    EXPECT_EQ(capture.events("digipro.receive.validated").size(), 3u);
    EXPECT_EQ(capture.events("digipro.receive.invalid").size(), 3u);
}

TEST(ReceiveDigiPRO, APieceWithoutASlotIsReportedAsUnavailable) {
    Bytes piece = SimulatedDigiPROEmitter::split(SimulatedDigiPROEmitter::waveform(7, "ABCD"), 3999, 3027)[0];
    piece[9] = 0x40;
    AppModelRig rig(quietOptions());
    CapturedDiagnostics capture(rig);
    pressReceive(rig);
    arrive(rig, {piece});
    ASSERT_TRUE(stopReceiveAndFinish(rig));
    const auto buffered = capture.events("digipro.receive.fragmentBuffered");
    ASSERT_EQ(buffered.size(), 1u);
    EXPECT_EQ(buffered[0].fields.at("position"), "unavailable");
    EXPECT_EQ(buffered[0].fields.at("assembledByteCount"), "3999");
    ASSERT_EQ(rig->items().size(), 1u);
    EXPECT_EQ(rig->items()[0].displayName, "DigiPRO response (invalid).syx");
    EXPECT_EQ(rig->items()[0].data, piece);
}

// Real instrument dumps, cut at random places by the interface with clock and sensing bytes
// between, end in the raw item exactly as the instruments sent them.
TEST(ReceiveInstrumentDumps, ArriveByteForByteWhateverTheChunking) {
    const auto folder = instrumentDumpFolder();
    if (!folder) GTEST_SKIP() << "no instrument dumps beside the project (../shared/testdata/elektron)";
    std::mt19937 random(1234);
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(*folder)) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty());

    AppModelRig rig(quietOptions());
    std::vector<Bytes> everything;
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        std::ifstream stream(file, std::ios::binary);
        const Bytes data{std::istreambuf_iterator<char>(stream), {}};
        const auto messages = SysExFileCodec::parse(data).messages;
        const Bytes joined = SysExFileCodec::join(messages);
        everything.insert(everything.end(), messages.begin(), messages.end());
        const std::size_t before = rig->items().size();
        pressReceive(rig);
        rig.wire().inject(chunkedWithRealTimeBytes(messages, random, 1 + random() % 400));
        rig.settle();
        ASSERT_TRUE(stopReceiveAndFinish(rig));
        const auto received = itemsReceivedSince(rig, before);
        ASSERT_EQ(received.size(), 1u);
        EXPECT_EQ(received[0].data, joined);
        EXPECT_EQ(received[0].byteCount, static_cast<int64_t>(joined.size()));
        EXPECT_EQ(rig->receivedByteCount(), static_cast<int64_t>(joined.size()));
        EXPECT_EQ(received[0].device, file.filename().string().starts_with("md-") ? TransferItem::Device::machinedrum
                                                                                  : TransferItem::Device::monomachine);
    }

    // All of them in one receive, in one stream.
    const std::size_t before = rig->items().size();
    pressReceive(rig);
    rig.wire().inject(chunkedWithRealTimeBytes(everything, random, 64));
    rig.settle();
    ASSERT_TRUE(stopReceiveAndFinish(rig));
    const auto received = itemsReceivedSince(rig, before);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].data, SysExFileCodec::join(everything));
    EXPECT_EQ(received[0].device, TransferItem::Device::multiple);
}

}  // namespace
}  // namespace k7::testing
