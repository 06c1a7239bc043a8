// Receiving SDS dumps end to end: the Receive button, a simulated sampler on the cable, virtual
// time, and the items the model makes.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "K7Core/SDS/SDSExtendedDumpHeader.h"
#include "K7Core/SysEx/SysExFileCodec.h"
#include "Support/Model/CapturedDiagnostics.h"
#include "Support/Model/ReceiveRig.h"
#include "Support/Model/TransferItemFixtures.h"
#include "Support/SDSWireFixture.h"

namespace k7::testing {
namespace {

using namespace std::chrono_literals;
using Format = AppPreferences::ReceiveFormat;
using Kind = TransferItem::Kind;
using Device = TransferItem::Device;

constexpr uint32_t period44100 = 22675;  // whole nanoseconds, as a sampler rounds them

AppModelRig::Options receiveOptions(Format format, bool handshake = true) {
    AppModelRig::Options options;
    options.preferences.receiveFormat = format;
    options.preferences.useHandshake = handshake;
    options.automaticallyDetectTurbo = false;
    return options;
}

SimulatedSDSDump namedDump(uint16_t sampleNumber, std::size_t words, std::vector<Bytes> opening) {
    return SimulatedSDSDump::make(0, sampleNumber, 16, period44100, sds_wire::testSignal(words), std::move(opening));
}

// Every message of a dump as the sampler sends it when nothing goes wrong.
Bytes wireBytes(const SimulatedSDSDump& dump) {
    std::vector<Bytes> messages{dump.header};
    messages.insert(messages.end(), dump.opening.begin(), dump.opening.end());
    messages.insert(messages.end(), dump.packets.begin(), dump.packets.end());
    messages.push_back(sds_wire::control(sds_wire::endOfFile, 0, static_cast<uint8_t>(dump.packets.size() & 0x7F)));
    return SysExFileCodec::join(messages);
}

// The 16-bit samples of a WAV or AIFF file, read from its data chunk as the file formats lay it
// out (RIFF little-endian "data"; IFF big-endian "SSND" after its offset and block size).
std::vector<int32_t> pcm16(const Bytes& file, Kind kind) {
    const bool wav = kind == Kind::wav;
    const auto read = [&](std::size_t at, int bytes) {
        uint32_t value = 0;
        for (int i = 0; i < bytes; ++i) value |= uint32_t{file[at + i]} << 8 * (wav ? i : bytes - 1 - i);
        return value;
    };
    for (std::size_t at = 12; at + 8 <= file.size();) {
        const uint32_t size = read(at + 4, 4);
        const auto id = file.begin() + static_cast<std::ptrdiff_t>(at);
        if (std::equal(id, id + 4, wav ? "data" : "SSND")) {
            std::vector<int32_t> samples;
            for (std::size_t i = at + 8 + (wav ? 0 : 8); i + 1 < at + 8 + size; i += 2) {
                samples.push_back(static_cast<int16_t>(read(i, 2)));
            }
            return samples;
        }
        at += 8 + size + (size & 1);
    }
    return {};
}

// A sampler on the cable, sending as soon as Receive is pressed.
std::shared_ptr<SimulatedSDSSender> receiveFrom(AppModelRig& rig, std::vector<SimulatedSDSDump> dumps,
                                                bool handshake = true, SimulatedSDSSenderScript script = {}) {
    SimulatedSDSSender::Options options;
    options.handshake = handshake;
    options.script = script;
    auto sampler = attachSDSSender(rig, options, std::move(dumps));
    pressReceive(rig);
    sampler->start(rig.wire());
    return sampler;
}

// Every message that arrived is in some SysEx item, unchanged.
void expectEveryMessageKept(const AppModelRig& rig, const std::vector<Bytes>& arrived) {
    std::vector<Bytes> kept;
    for (const auto& item : rig->items()) {
        if (item.kind != Kind::sysEx) continue;
        for (auto& message : SysExFileCodec::parse(item.data).messages) kept.push_back(std::move(message));
    }
    for (const auto& message : arrived) {
        const auto found = std::find(kept.begin(), kept.end(), message);
        ASSERT_NE(found, kept.end()) << "lost a message of " << message.size() << " bytes";
        kept.erase(found);
    }
}

TEST(ReceiveSDS, TwoHandshakeDumpsBecomeItemsOfTheChosenFormat) {
    const auto first = namedDump(3, 100, {sdsSampleNameMessage(0, 3, "Kick")});
    const auto second = namedDump(4, 61, {sdsSampleNameMessage(0, 4, " Kick\t")});
    struct Case {
        Format format;
        std::vector<std::string> names;
        Kind kind;
        Device device;
        std::string firstDetail;
    };
    const std::vector<Case> cases{
        {Format::rawSDS, {"Kick.syx", "Kick 2.syx"}, Kind::sysEx, Device::unknown,
         "Complete raw SDS sample 3, 100 sample words."},
        {Format::wav, {"Kick.wav", "Kick 2.wav"}, Kind::wav, Device::notApplicable,
         "SDS sample 3: 100 frames, 1 channel, 44100 Hz. Export was decoded again successfully."},
        {Format::aiff, {"Kick.aiff", "Kick 2.aiff"}, Kind::aiff, Device::notApplicable,
         "SDS sample 3: 100 frames, 1 channel, 44100 Hz. Export was decoded again successfully."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(rawValue(c.format)));
        AppModelRig rig(receiveOptions(c.format));
        auto sampler = attachSDSSender(rig, {}, {first, second});
        pressReceive(rig);
        ASSERT_TRUE(rig->isReceiving());
        EXPECT_EQ(rig->statusText(), "Receiving");
        sampler->start(rig.wire());
        ASSERT_TRUE(rig.runUntil([&] { return sampler->isFinished() && rig->items().size() == 2; }));
        EXPECT_EQ(rig->statusText(), "Received Kick 2" + c.names[1].substr(6));
        EXPECT_EQ(sampler->negativeAcknowledgementsHeard(), 0u);
        ASSERT_TRUE(stopReceiveAndFinish(rig));

        const auto& items = rig->items();
        ASSERT_EQ(names(items), c.names);
        const auto bytes = SysExFileCodec::join(sampler->sentMessages()).size();
        EXPECT_EQ(rig->statusText(), "Received 2 items, " + std::to_string(bytes) + " bytes");
        EXPECT_EQ(rig->selection(), (std::set<QUuid>{items[0].id, items[1].id}));
        EXPECT_EQ(items[0].detail, c.firstDetail);
        for (std::size_t i = 0; i < 2; ++i) {
            const auto& dump = i == 0 ? first : second;
            EXPECT_EQ(items[i].kind, c.kind);
            EXPECT_EQ(items[i].device, c.device);
            EXPECT_EQ(items[i].state, TransferItem::State(TransferItem::State::Received{}));
            EXPECT_FALSE(items[i].sourceURL);
            EXPECT_EQ(items[i].byteCount, static_cast<int64_t>(items[i].data.size()));
            if (c.kind == Kind::sysEx) {
                EXPECT_EQ(items[i].data, wireBytes(dump));
                EXPECT_TRUE(items[i].sendMethod.is<TransferSendMethod::SDSFile>()) << items[i].sendMethod.describe();
            } else {
                EXPECT_EQ(pcm16(items[i].data, c.kind), dump.samples);
                ASSERT_TRUE(items[i].audioSample);
                EXPECT_EQ(items[i].audioSample->sampleRate, 44100);
            }
        }
    }
}

// Kept as SysEx by choice: no conversion error, and one raw item named after the dump when
// there was exactly one.
TEST(ReceiveSDS, RawSysExFormatKeepsDumpsInTheRawItem) {
    const auto first = namedDump(3, 100, {sdsSampleNameMessage(0, 3, "Kick")});
    const auto second = namedDump(4, 61, {sps1UWNameMessage(0, 4, "SNR1")});
    struct Case {
        std::vector<SimulatedSDSDump> dumps;
        std::string name;
        std::string lastSample;
    };
    for (const auto& c :
         std::vector<Case>{{{first}, "Kick.syx", "3"}, {{first, second}, "Received data 1.syx", "4"}}) {
        SCOPED_TRACE(c.name);
        AppModelRig rig(receiveOptions(Format::none));
        auto sampler = receiveFrom(rig, c.dumps);
        ASSERT_TRUE(rig.runUntil([&] { return sampler->isFinished(); }));
        rig.runFor(1s);
        EXPECT_EQ(rig->statusText(), "Receiving SDS sample " + c.lastSample);
        ASSERT_TRUE(stopReceiveAndFinish(rig));
        ASSERT_EQ(names(rig->items()), std::vector<std::string>{c.name});
        const auto& item = rig->items()[0];
        EXPECT_EQ(item.state, TransferItem::State(TransferItem::State::Received{}));
        EXPECT_EQ(item.detail, "SysEx received; bytes were kept unchanged.");
        EXPECT_EQ(rig->statusText(), "SysEx received.");
        expectEveryMessageKept(rig, sampler->sentMessages());
    }
}

TEST(ReceiveSDS, OpenLoopDumpNamedBySPS1UWNameComesFromAMachinedrum) {
    struct Case {
        std::vector<Bytes> opening;
        std::string name;
        Device device;
    };
    const std::vector<Case> cases{
        {{sps1UWNameMessage(0, 7, "SNR1")}, "SNR1.syx", Device::machinedrum},
        {{sdsSampleNameMessage(0, 7, "Long Snare"), sps1UWNameMessage(0, 7, "SNR1")}, "Long Snare.syx",
         Device::machinedrum},
        {{sdsSampleNameMessage(0, 7, "----"), sps1UWNameMessage(0, 7, "SNR1")}, "SNR1.syx", Device::machinedrum},
        {{sdsSampleNameMessage(0, 7, ""), sps1UWNameMessage(0, 7, "    ")}, "Sample 7.syx", Device::machinedrum},
        {{sdsSampleNameMessage(0, 7, "a/b:c")}, "a_b_c.syx", Device::unknown},
        {{sdsSampleNameMessage(0, 7, "  ")}, "Sample 7.syx", Device::unknown},
        {{}, "Sample 7.syx", Device::unknown},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AppModelRig rig(receiveOptions(Format::rawSDS, false));
        auto sampler = receiveFrom(rig, {namedDump(7, 300, c.opening)}, false);
        ASSERT_TRUE(rig.runUntil([&] { return rig->items().size() == 1; }));
        EXPECT_EQ(rig.wire().sentMessages().size(), 0u);  // open loop: nothing is answered
        ASSERT_TRUE(stopReceiveAndFinish(rig));
        ASSERT_EQ(rig->items().size(), 1u);
        EXPECT_EQ(rig->items()[0].displayName, c.name);
        EXPECT_EQ(rig->items()[0].device, c.device);
        expectEveryMessageKept(rig, sampler->sentMessages());
    }
}

// A dump whose extended header gives a rate below 1 Hz: complete, but no audio can be made of it.
SimulatedSDSDump dumpWithoutARate() {
    auto dump = SimulatedSDSDump::make(0, 1, 16, period44100, sds_wire::testSignal(100));
    dump.header = SDSExtendedDumpHeader::withRateFields(0, 1, 16, 0, 1, 100, 0, 0, 0x7F, 1).encode();
    return dump;
}

// Dumps that do not complete, or cannot be converted, leave their bytes in the raw item, and the
// failure in its detail and in the status.
TEST(ReceiveSDS, IncompleteDumpsKeepTheirBytes) {
    const auto first = namedDump(1, 200, {});
    const auto second = namedDump(2, 50, {});
    struct Case {
        const char* name;
        SimulatedSDSSenderScript script;
        bool handshake;
        std::vector<std::string> names;
        std::string failure;
        std::chrono::seconds stopAfter = 30s;
        std::vector<Bytes> sentAfterStop = {};
        Format format = Format::rawSDS;
        std::vector<SimulatedSDSDump> dumps = {};  // none: the two above
        std::string statusBeforeStop = {};         // none: "Receive error: " and the failure
    };
    SimulatedSDSSenderScript newHeader;
    newHeader.newHeaderAfterPackets = 2;
    SimulatedSDSSenderScript silent;
    silent.stopAfterPackets = 3;
    const std::vector<Case> cases{
        {"a new header mid-dump", newHeader, true, {"Sample 2.syx", "Received data 1.syx"},
         "A new SDS header replaced an incomplete dump after 80 of 200 sample words"},
        {"a sender that falls silent", silent, true, {"Received data 1.syx"},
         "SDS retry limit reached for packet 3 (timeout)"},
        {"a sender that stops before the user", silent, false, {"Received data 1.syx"}, ""},
        // The stop cancels the dump under way itself, which the sampler is told: that is no failure.
        {"a handshake dump stopped by the user", silent, true, {"Received data 1.syx"}, "", 1s,
         {sds_wire::control(sds_wire::cancel, 0, 3)}},
        // Complete, but no audio file can be made of them.
        {"a rate below 1 Hz", {}, true, {"Received data 1.syx"}, "SDS completed without a valid header", 30s, {},
         Format::wav, {dumpWithoutARate()}},
        {"a dump without frames", {}, true, {"Received data 1.syx"},
         "Could not convert received SDS: The audio file holds no sample frames.", 30s, {}, Format::aiff,
         {SimulatedSDSDump::make(0, 1, 16, period44100, {})},
         "Could not convert received SDS: The audio file holds no sample frames.; raw bytes retained"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AppModelRig rig(receiveOptions(c.format, c.handshake));
        CapturedDiagnostics capture(rig);
        auto sampler = receiveFrom(rig, c.dumps.empty() ? std::vector{first, second} : c.dumps, c.handshake, c.script);
        rig.runFor(c.stopAfter);
        // A dump completed after the failure names itself in the status instead.
        if (!c.failure.empty() && c.names.size() == 1) {
            EXPECT_EQ(rig->statusText(), c.statusBeforeStop.empty()
                                             ? "Receive error: " + c.failure + "; raw bytes retained"
                                             : c.statusBeforeStop);
        }
        const auto sentBeforeStop = rig.wire().sentMessages().size();
        ASSERT_TRUE(stopReceiveAndFinish(rig));
        EXPECT_EQ(names(rig->items()), c.names);
        const auto& raw = rig->items().back();
        if (c.failure.empty()) {
            EXPECT_EQ(rig->statusText(), "SysEx received.");
            EXPECT_EQ(raw.detail, "SysEx received; bytes were kept unchanged.");
        } else {
            EXPECT_EQ(rig->statusText(), "Receive error: " + c.failure + "; raw SysEx retained");
            // A failure that is a sentence already keeps its one full stop.
            EXPECT_EQ(raw.detail, "SysEx received; bytes were kept unchanged after an SDS receive issue. " +
                                      c.failure + (c.failure.ends_with('.') ? "" : "."));
        }
        expectEveryMessageKept(rig, sampler->sentMessages());
        // The receive is over: after the cancel, if any, nothing more goes to the sampler, however
        // long it waits.
        rig.runFor(1min);
        std::vector<Bytes> sentAfterStop;
        const auto sent = rig.wire().sentMessages();
        for (auto m = sent.begin() + static_cast<std::ptrdiff_t>(sentBeforeStop); m != sent.end(); ++m) {
            sentAfterStop.push_back(m->bytes);
        }
        EXPECT_EQ(sentAfterStop, c.sentAfterStop);
        // A dump still under way at the stop is cancelled; a handshaking sampler hears of it.
        const auto cancelRequested = capture.events("sds.receiver.cancelRequested");
        EXPECT_EQ(cancelRequested.size(), c.failure.empty() ? 1u : 0u);
        if (!cancelRequested.empty()) {
            EXPECT_EQ(cancelRequested[0].fields.at("status"), "receiving");
        }
    }
}

// The sampler missed the ACK of the last packet and sends it again: its end-of-file still
// belongs to the dump; the repeat, an exact copy, is kept as other repeats are.
TEST(ReceiveSDS, AResentLastPacketKeepsTheEndOfFileWithItsDump) {
    const auto dump = namedDump(1, 120, {});  // three packets
    AppModelRig rig(receiveOptions(Format::rawSDS));
    CapturedDiagnostics capture(rig);
    SimulatedSDSSenderScript script;
    script.missesAckOfPacket = 2;
    auto sampler = receiveFrom(rig, {dump}, true, script);
    ASSERT_TRUE(rig.runUntil([&] { return sampler->isFinished(); }));
    rig.runFor(1s);
    ASSERT_TRUE(stopReceiveAndFinish(rig));
    ASSERT_EQ(names(rig->items()), (std::vector<std::string>{"Sample 1.syx", "Received data 1.syx"}));
    EXPECT_EQ(rig->items()[0].data, wireBytes(dump));
    EXPECT_EQ(rig->items()[1].data, dump.packets[2]);
    EXPECT_TRUE(capture.events("sds.receiver.endOfFileIgnored").empty());
    EXPECT_EQ(sampler->acknowledgementsHeard(), 5u);  // header, three packets, the repeat
    expectEveryMessageKept(rig, sampler->sentMessages());
}

TEST(ReceiveSDS, AnInputThatVanishesEndsTheReceiveWithWhatArrived) {
    SimulatedSDSSenderScript silent;
    silent.stopAfterPackets = 3;
    AppModelRig rig(receiveOptions(Format::rawSDS, false));
    auto sampler = receiveFrom(rig, {namedDump(1, 200, {})}, false, silent);
    rig.runFor(5s);
    ASSERT_TRUE(rig->isReceiving());

    auto ports = rig.wire().endpointSnapshot();
    ports.inputs.clear();
    rig.wire().setEndpoints(ports);
    ASSERT_TRUE(rig.runUntil([&] { return !rig->isReceiving(); }));

    EXPECT_EQ(rig->statusText(),
              "V7/64 can\u2019t find the previously selected MIDI input. The active transfer was stopped. Its "
              "selection was cleared. Reconnect the MIDI device or choose another input in Settings.");
    EXPECT_EQ(rig->preferences().inputEndpointID, std::nullopt);
    EXPECT_EQ(names(rig->items()), std::vector<std::string>{"Received data 1.syx"});
    expectEveryMessageKept(rig, sampler->sentMessages());
}

TEST(ReceiveSDS, AnAnswerThatCannotBeSentEndsTheDump) {
    const auto dump = namedDump(2, 200, {});
    AppModelRig rig(receiveOptions(Format::rawSDS));
    const auto refused = MIDITransportError::endpointUnavailable();
    rig.wire().failAlways(MockMIDITransport::Operation::send, refused);
    receiveFrom(rig, {dump});
    rig.runFor(1s);
    const std::string failure = "MIDI communication failed: " + std::string(refused.what());
    EXPECT_EQ(rig->statusText(), "Receive error: " + failure + "; raw bytes retained");
    ASSERT_TRUE(stopReceiveAndFinish(rig));
    EXPECT_EQ(rig->statusText(), "Receive error: " + failure + "; raw SysEx retained");
    ASSERT_EQ(rig->items().size(), 1u);
    EXPECT_EQ(rig->items()[0].data, dump.header);
}

TEST(ReceiveSDS, ABadPacketIsAskedForAgainAndTheBadCopyIsKept) {
    const auto dump = namedDump(5, 200, {sdsSampleNameMessage(0, 5, "Hat")});
    AppModelRig rig(receiveOptions(Format::wav));
    SimulatedSDSSenderScript badPacket;
    badPacket.badChecksumPacket = 1;
    auto sampler = receiveFrom(rig, {dump}, true, badPacket);
    ASSERT_TRUE(rig.runUntil([&] { return sampler->isFinished() && !rig->items().empty(); }));
    EXPECT_EQ(sampler->negativeAcknowledgementsHeard(), 1u);
    ASSERT_TRUE(stopReceiveAndFinish(rig));
    ASSERT_EQ(names(rig->items()), (std::vector<std::string>{"Hat.wav", "Received data 1.syx"}));
    EXPECT_EQ(pcm16(rig->items()[0].data, Kind::wav), dump.samples);
    // The damaged copy was not part of the dump, so it is the raw item's only content.
    const auto raw = SysExFileCodec::parse(rig->items()[1].data).messages;
    ASSERT_EQ(raw.size(), 1u);
    EXPECT_NE(raw[0], dump.packets[1]);
    EXPECT_EQ(raw[0].size(), dump.packets[1].size());
}

TEST(ReceiveSDS, HandshakeNeedsAnOutput) {
    auto options = receiveOptions(Format::rawSDS);
    options.preferences.outputEndpointID.reset();
    AppModelRig rig(options);
    pressReceive(rig);
    EXPECT_FALSE(rig->isReceiving());
    EXPECT_EQ(rig->alertMessage(), "Select a MIDI output before receiving with SDS handshake enabled.");
}

TEST(ReceiveSDS, DrainProblemsBecomeFailureTexts) {
    using Cut = std::pair<Bytes, const char*>;
    for (const auto& [cutOff, length] : {Cut{{0xF0}, "1 byte"}, Cut{{0xF0, 1, 2, 3, 4}, "5 bytes"}}) {
        SCOPED_TRACE(length);
        AppModelRig rig(receiveOptions(Format::rawSDS));
        pressReceive(rig);
        rig.wire().inject(cutOff);
        rig.settle();
        ASSERT_TRUE(stopReceiveAndFinish(rig));
        EXPECT_TRUE(rig->items().empty());
        EXPECT_EQ(rig->statusText(), std::string("Receive stopped: The final SysEx message stopped after ") + length +
                                         " without an F7 terminator and was discarded. Re-receive the final item.");
    }

    // Traffic that never pauses: everything complete is kept, and the status says why it ended.
    AppModelRig rig(receiveOptions(Format::rawSDS));
    pressReceive(rig);
    for (int i = 0; i < 80; ++i) rig.wire().injectAfter(i * 100ms, Bytes{0xF0, 0x7D, 0x01, 0xF7});
    rig.runFor(1s);
    rig->toggleReceiving();
    EXPECT_EQ(rig->statusText(), "Finishing receive\u2026");
    EXPECT_TRUE(rig->isFinishingReceive());
    rig->toggleReceiving();  // a second press during the drain changes nothing
    ASSERT_TRUE(rig.runUntil([&] { return !rig->isReceiving(); }));
    EXPECT_EQ(rig->statusText(),
              "Receive error: MIDI input did not become quiet before the receive-finalization timeout; complete "
              "messages were retained, but the final message may be incomplete.; raw SysEx retained");
    ASSERT_EQ(rig->items().size(), 1u);
    const auto kept = SysExFileCodec::parse(rig->items()[0].data).messages;
    EXPECT_EQ(kept.size(), 40u);  // those of the first 4 s: 1 s before the stop, 3 s of drain
    EXPECT_EQ(rig->items()[0].state, TransferItem::State(TransferItem::State::Received{}));
}

TEST(ReceiveSDS, NamesCountOnAcrossReceivesAndAvoidListedNames) {
    AppModelRig rig(receiveOptions(Format::rawSDS));
    for (int round = 1; round <= 2; ++round) {
        pressReceive(rig);
        rig.wire().inject(Bytes{0xF0, 0x7D, static_cast<uint8_t>(round), 0xF7});
        rig.settle();
        ASSERT_TRUE(stopReceiveAndFinish(rig));
    }
    // A name already in the list, in another case, is taken.
    auto items = rig->items();
    items.back().displayName = "received DATA 3.SYX";
    rig->setItems(items);
    pressReceive(rig);
    rig.wire().inject(Bytes{0xF0, 0x7D, 3, 0xF7});
    rig.settle();
    ASSERT_TRUE(stopReceiveAndFinish(rig));
    EXPECT_EQ(names(rig->items()),
              (std::vector<std::string>{"Received data 1.syx", "received DATA 3.SYX", "Received data 3 2.syx"}));

    // Nothing received: nothing made, selection untouched.
    rig->setSelection({rig->items()[0].id});
    pressReceive(rig);
    ASSERT_TRUE(stopReceiveAndFinish(rig));
    EXPECT_EQ(rig->items().size(), 3u);
    EXPECT_EQ(rig->statusText(), "Ready");
    EXPECT_EQ(rig->selection(), std::set<QUuid>{rig->items()[0].id});
}

TEST(ReceiveRouting, MessagesAndIssuesOutsideAReceiveOnlyLeaveATrace) {
    AppModelRig rig(receiveOptions(Format::rawSDS));
    CapturedDiagnostics capture(rig);
    const std::string status = rig->statusText();
    rig.wire().inject(Bytes{0xF0, 0x7D, 0x01, 0x02, 0xF7});
    rig.wire().inject(Bytes{0xF0, 0x7D, 0x01, 0xF0, 0x7D, 0xF7});  // the first message is cut off
    rig.settle();
    EXPECT_EQ(rig->statusText(), status);
    EXPECT_FALSE(rig->alertMessage());
    EXPECT_TRUE(rig->items().empty());
    const auto ignored = capture.events("midi.message.ignoredWhileReceiveStopped");
    ASSERT_EQ(ignored.size(), 2u);
    EXPECT_EQ(ignored[0].fields.at("messageByteCount"), "5");
    EXPECT_EQ(capture.events("midi.receiveIssue.ignoredWhileReceiveStopped").size(), 1u);

    // While receiving, the same issue is shown.
    pressReceive(rig);
    rig.wire().inject(Bytes{0xF0, 0x7D, 0x01, 0xF0, 0x7D, 0xF7});
    rig.settle();
    EXPECT_EQ(rig->statusText(), "Incomplete MIDI message discarded");
    ASSERT_TRUE(rig->alertMessage());
    EXPECT_FALSE(rig->alertMessage()->empty());
}

TEST(ReceiveRouting, TheSessionIsSetUpFromThePreferences) {
    auto options = receiveOptions(Format::aiff);
    options.preferences.deviceNumber = 200;
    AppModelRig rig(options);
    CapturedDiagnostics capture(rig);
    pressReceive(rig);
    const auto started = capture.events("sds.receive.started");
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0].fields, (std::map<std::string, std::string>{{"generation", "1"},
                                                                     {"mode", "handshake"},
                                                                     {"deviceID", "127"},
                                                                     {"maximumRetries", "2"},
                                                                     {"packetTimeout", "5"},
                                                                     {"format", "aiff"}}));
    // A sampler talking to device 127 is answered.
    SimulatedSDSSender::Options sender;
    sender.deviceID = 127;
    auto sampler = attachSDSSender(rig, sender,
                                   {SimulatedSDSDump::make(127, 9, 16, period44100, sds_wire::testSignal(90))});
    sampler->start(rig.wire());
    ASSERT_TRUE(rig.runUntil([&] { return rig->items().size() == 1; }));
    EXPECT_EQ(rig->items()[0].displayName, "Sample 9.aiff");
    ASSERT_TRUE(stopReceiveAndFinish(rig));
    const auto drain = capture.events("receive.drain.completed");
    ASSERT_EQ(drain.size(), 1u);
    EXPECT_EQ(drain[0].fields.at("didReachQuiescence"), "true");
    EXPECT_EQ(capture.events("sds.receive.completed").at(0).fields.at("sampleWords"), "90");
}

// The sampler is told once, and nothing follows.
TEST(ReceiveRouting, ClosingTheModelMidDumpStopsTheSession) {
    AppModelRig rig(receiveOptions(Format::rawSDS));
    auto sampler = receiveFrom(rig, {namedDump(1, 2000, {})});
    rig.runFor(20ms);
    ASSERT_TRUE(rig->isReceiving());
    rig.stop();
    const auto sent = rig.wire().sentMessages().size();
    rig.runFor(1min);
    const auto after = rig.wire().sentMessages();
    ASSERT_EQ(after.size(), sent + 1);
    EXPECT_EQ(sds_wire::controlKind(after.back().bytes), sds_wire::cancel);
    EXPECT_TRUE(sampler->cancelHeard());
}

}  // namespace
}  // namespace k7::testing
