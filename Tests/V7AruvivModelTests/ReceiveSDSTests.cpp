// Receiving SDS dumps end to end: the Receive button, a simulated sampler on the cable, virtual
// time, and the items the model makes.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <utility>

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

// A number of a WAV file (little-endian) or an AIFF file (big-endian).
uint32_t readNumber(const Bytes& file, Kind kind, std::size_t at, int bytes) {
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= uint32_t{file[at + i]} << 8 * (kind == Kind::wav ? i : bytes - 1 - i);
    return value;
}

// Where a chunk's body starts and how long it is, or nothing.
std::optional<std::pair<std::size_t, uint32_t>> chunk(const Bytes& file, Kind kind, const char* id) {
    for (std::size_t at = 12; at + 8 <= file.size();) {
        const uint32_t size = readNumber(file, kind, at + 4, 4);
        const auto start = file.begin() + static_cast<std::ptrdiff_t>(at);
        if (std::equal(start, start + 4, id)) return std::pair{at + 8, size};
        at += 8 + size + (size & 1);
    }
    return std::nullopt;
}

// The 16-bit samples of a WAV or AIFF file, read from "data", or from "SSND" after its offset and
// block size.
std::vector<int32_t> pcm16(const Bytes& file, Kind kind) {
    const bool wav = kind == Kind::wav;
    const auto body = chunk(file, kind, wav ? "data" : "SSND");
    if (!body) return {};
    std::vector<int32_t> samples;
    for (std::size_t i = body->first + (wav ? 0 : 8); i + 1 < body->first + body->second; i += 2) {
        samples.push_back(static_cast<int16_t>(readNumber(file, kind, i, 2)));
    }
    return samples;
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

// What libsndfile, a reader independent of ours, makes of a WAV or AIFF file.
struct LibsndfileReading {
    SF_INFO info{};
    std::vector<int> samples;  // scaled to 32 bits
    std::optional<SF_INSTRUMENT> instrument;
};

std::optional<LibsndfileReading> readWithLibsndfile(const Bytes& file) {
    std::unique_ptr<FILE, int (*)(FILE*)> temporary(std::tmpfile(), &std::fclose);
    if (!temporary || ::write(fileno(temporary.get()), file.data(), file.size()) != static_cast<ssize_t>(file.size()) ||
        ::lseek(fileno(temporary.get()), 0, SEEK_SET) != 0) {
        return std::nullopt;
    }
    LibsndfileReading reading;
    std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> handle(
        sf_open_fd(fileno(temporary.get()), SFM_READ, &reading.info, SF_FALSE), &sf_close);
    if (!handle) return std::nullopt;
    reading.samples.resize(static_cast<std::size_t>(reading.info.frames * reading.info.channels));
    reading.samples.resize(static_cast<std::size_t>(
        sf_read_int(handle.get(), reading.samples.data(), static_cast<sf_count_t>(reading.samples.size()))));
    SF_INSTRUMENT instrument{};
    if (sf_command(handle.get(), SFC_GET_INSTRUMENT, &instrument, sizeof instrument) == SF_TRUE) {
        reading.instrument = instrument;
    }
    return reading;
}

// Every depth a sampler may send, under either header, saved either way: the file holds each word
// the sampler sent, its rate and its loop.
TEST(ReceiveSDS, EveryDepthAndHeaderKeepsSamplesRateAndLoop) {
    struct Depth {
        int bits;
        uint32_t periodNanoseconds;  // classic header
        int classicRate;
        uint32_t extendedRate;
    };
    const std::vector<Depth> depths{{8, 125000, 8000, 11025},  {12, 31250, 32000, 22050},
                                    {16, 22675, 44100, 44100}, {20, 20000, 50000, 48000},
                                    {24, 40000, 25000, 96000}, {28, 62500, 16000, 192000}};
    // A short last packet at every width; the loop's end word is the last one played.
    const std::size_t words = 151;
    const SimulatedSDSLoop loop{17, 140, 0x00};
    for (const auto& depth : depths) {
        for (const bool extended : {false, true}) {
            for (const Format format : {Format::wav, Format::aiff}) {
                const int bits = depth.bits;
                SCOPED_TRACE(std::to_string(bits) + " bits, " + (extended ? "extended" : "classic") + " header, " +
                             std::string(rawValue(format)));
                const auto samples = sds_wire::testSignal(words, bits);
                const auto dump =
                    extended ? SimulatedSDSDump::makeExtended(0, 5, bits, depth.extendedRate, samples, {}, loop)
                             : SimulatedSDSDump::make(0, 5, bits, depth.periodNanoseconds, samples, {}, loop);
                const int rate = extended ? static_cast<int>(depth.extendedRate) : depth.classicRate;
                AppModelRig rig(receiveOptions(format));
                auto sampler = receiveFrom(rig, {dump});
                ASSERT_TRUE(rig.runUntil([&] { return sampler->isFinished() && !rig->items().empty(); }))
                    << rig->statusText();
                ASSERT_TRUE(stopReceiveAndFinish(rig));
                ASSERT_EQ(rig->items().size(), 1u) << rig->statusText();
                const auto& item = rig->items()[0];
                const Kind kind = format == Format::wav ? Kind::wav : Kind::aiff;
                ASSERT_EQ(item.kind, kind);

                // A word stands in the top bits of the container's whole bytes: WAV at the
                // container's full scale (8 bits unsigned), AIFF left-justified with its
                // significant bits in COMM. libsndfile scales every container to 32 bits.
                std::vector<int> fullScale;
                for (int32_t word : samples) fullScale.push_back(static_cast<int>(word * (int64_t{1} << (32 - bits))));
                const int container = (bits + 7) / 8 * 8;
                const std::map<int, int> subtypes{{8, kind == Kind::wav ? SF_FORMAT_PCM_U8 : SF_FORMAT_PCM_S8},
                                                  {16, SF_FORMAT_PCM_16},
                                                  {24, SF_FORMAT_PCM_24},
                                                  {32, SF_FORMAT_PCM_32}};
                const auto reading = readWithLibsndfile(item.data);
                ASSERT_TRUE(reading);
                EXPECT_EQ(reading->info.format,
                          (kind == Kind::wav ? SF_FORMAT_WAV : SF_FORMAT_AIFF) | subtypes.at(container));
                EXPECT_EQ(reading->info.channels, 1);
                EXPECT_EQ(reading->info.samplerate, rate);
                EXPECT_EQ(reading->samples, fullScale);
                ASSERT_TRUE(reading->instrument);
                ASSERT_EQ(reading->instrument->loop_count, 1);
                EXPECT_EQ(reading->instrument->loops[0].mode, SF_LOOP_FORWARD);
                EXPECT_EQ(reading->instrument->loops[0].start, loop.start);
                EXPECT_EQ(reading->instrument->loops[0].end, loop.end + 1);  // libsndfile's ends are exclusive
                if (kind == Kind::aiff) {
                    const auto comm = chunk(item.data, kind, "COMM");
                    ASSERT_TRUE(comm);
                    EXPECT_EQ(readNumber(item.data, kind, comm->first + 6, 2), static_cast<uint32_t>(bits));
                }

                // What a send of the item will use.
                ASSERT_TRUE(item.audioSample);
                EXPECT_EQ(item.audioSample->sampleRate, rate);
                EXPECT_EQ(item.audioSample->channels, (std::vector<std::vector<int32_t>>{fullScale}));
                EXPECT_EQ(item.audioSample->loop, (AudioLoop{loop.start, loop.end}));
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
