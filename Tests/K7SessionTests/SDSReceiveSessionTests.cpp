#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>

#include "K7Core/SDSExtendedDumpHeader.h"
#include "K7Core/SDSSampleNameMessage.h"
#include "K7Core/SPS1UWFileNameMessage.h"
#include "K7MIDI/SDSReceiveSession.h"
#include "SessionTestSupport.h"
#include "Support/SimulatedSDSSender.h"
#include "Support/SimulatedStudio.h"

namespace k7::testing {
namespace {

SimulatedSDSDump twoSecondDump() {
    const SDSSampleNameMessage name(0, slot, "Snare");
    return SimulatedSDSDump::make(0, slot, 16, period44100, twoSecondSignal(), {name.encode()});
}

SimulatedSDSDump shortDump(uint16_t sampleNumber, std::size_t words) {
    return SimulatedSDSDump::make(0, sampleNumber, 16, period44100, sds_wire::testSignal(words, 16));
}

// A session on the studio's virtual time, fed by a simulated sampler.
struct SessionRig {
    SessionRig(bool handshake, SDSReceiveFormat format, SimulatedSDSSender::Options senderOptions,
               std::vector<SimulatedSDSDump> dumps, std::optional<SDSReceiverConfiguration> configuration = {},
               std::chrono::nanoseconds cap = 5s, std::chrono::nanoseconds grace = 50ms) {
        senderOptions.handshake = handshake;
        sender = std::make_shared<SimulatedSDSSender>(senderOptions, std::move(dumps));
        studio.attach(sender);
        session = std::make_unique<SDSReceiveSession>(studio.transport,
                                                      configuration.value_or(receiverConfiguration(handshake)), format,
                                                      studio.scheduler, studio.scheduler, cap, grace, studio.scheduler);
        studio.onReceive([this](const Bytes& message) {
            lastArrival = studio.scheduler->now();
            if (sds_wire::isPacket(message)) lastPacketArrival = lastArrival;
            if (session) session->receive(message);
        });
        session->onHeader = [this](const SDSDumpHeaderMessage& header) { headers.push_back(header); };
        session->onProgress = [this](const SDSReceiveProgress& p) { progress.push_back(p); };
        session->onCompleted = [this](const SDSReceiveCompletion& c) {
            completions.push_back(c);
            completedAt.push_back(studio.scheduler->now());
        };
        session->onFailure = [this](const SDSReceiveSessionFailure& f) { failures.push_back(f); };
        session->onDiagnosticEvent = [this](const std::string& name, const SDSDiagnosticFields&) {
            events.push_back(name);
        };
    }

    void start() { sender->start(*studio.transport); }
    bool runUntilOutcomes(std::size_t count, std::chrono::nanoseconds limit = 10min) {
        return studio.runUntil([&] { return completions.size() + failures.size() >= count; }, limit);
    }

    SimulatedStudio studio;
    std::shared_ptr<SimulatedSDSSender> sender;
    std::unique_ptr<SDSReceiveSession> session;
    std::vector<SDSDumpHeaderMessage> headers;
    std::vector<SDSReceiveProgress> progress;
    std::vector<SDSReceiveCompletion> completions;
    std::vector<ManualScheduler::TimePoint> completedAt;
    std::vector<SDSReceiveSessionFailure> failures;
    std::vector<std::string> events;
    ManualScheduler::TimePoint lastArrival{};
    ManualScheduler::TimePoint lastPacketArrival{};
};

SimulatedSDSSender::Options senderOptions(bool emitEndOfFile, SimulatedSDSSenderScript script = {}) {
    SimulatedSDSSender::Options options;
    options.emitEndOfFile = emitEndOfFile;
    options.script = script;
    return options;
}

template <typename Edit>
SimulatedSDSSenderScript script(Edit edit) {
    SimulatedSDSSenderScript s;
    edit(s);
    return s;
}

struct DumpCase {
    std::string name;
    bool handshake;
    SDSReceiveFormat format;
    bool emitEndOfFile;
    SimulatedSDSSenderScript script;
    // Expected, in order: the first dump's failure (if any), then completions of these dumps.
    std::optional<SDSTransferFailure> failure;
    std::vector<std::size_t> completedDumps;
    // Cancel the session after this much virtual time (the dump is stuck otherwise).
    std::optional<std::chrono::nanoseconds> cancelAfter = std::nullopt;
};

void PrintTo(const DumpCase& c, std::ostream* os) { *os << c.name; }

class SessionAgainstSampler : public ::testing::TestWithParam<DumpCase> {};

TEST_P(SessionAgainstSampler, ReceivesWhatTheSamplerSent) {
    const auto& c = GetParam();
    std::vector<SimulatedSDSDump> dumps{twoSecondDump(), shortDump(slot + 1, 1000)};
    SessionRig rig(c.handshake, c.format, senderOptions(c.emitEndOfFile, c.script), dumps);
    rig.start();
    const std::size_t outcomes = (c.failure ? 1 : 0) + c.completedDumps.size();
    if (c.cancelAfter) {
        rig.studio.runFor(*c.cancelAfter);
        rig.session->cancel();
    }
    ASSERT_TRUE(rig.runUntilOutcomes(outcomes));
    rig.studio.runFor(1min);  // nothing more may come

    ASSERT_EQ(rig.failures.size(), c.failure ? 1u : 0u);
    if (c.failure) {
        EXPECT_EQ(rig.failures.front(), SDSReceiveSessionFailure::transfer(*c.failure)) << rig.failures.front().describe();
    }
    ASSERT_EQ(rig.completions.size(), c.completedDumps.size());
    for (std::size_t i = 0; i < c.completedDumps.size(); ++i) {
        const auto& dump = dumps[c.completedDumps[i]];
        const auto& completion = rig.completions[i];
        EXPECT_EQ(completion.format, c.format);
        EXPECT_EQ(completion.samples, dump.samples);
        EXPECT_EQ(completion.header.sampleNumber(), SDSDumpHeaderMessage::decode(dump.header).sampleNumber());
        EXPECT_EQ(completion.nextSamplePosition, completion.header.sampleNumber() + 1);

        // Every message of the dump, once, as sent; the end-of-file with it when it came.
        std::vector<Bytes> expected{dump.header};
        expected.insert(expected.end(), dump.opening.begin(), dump.opening.end());
        expected.insert(expected.end(), dump.packets.begin(), dump.packets.end());
        if (c.emitEndOfFile) expected.push_back(sds_wire::control(sds_wire::endOfFile, 0, dump.packets.size() & 0x7F));
        EXPECT_EQ(completion.rawMessages, expected);
        Bytes joined;
        for (const auto& m : expected) joined.insert(joined.end(), m.begin(), m.end());
        EXPECT_EQ(completion.rawData, joined);

        const bool audio = c.format == SDSReceiveFormat::wav || c.format == SDSReceiveFormat::aiff;
        ASSERT_EQ(completion.audioSample.has_value(), audio);
        if (audio) {
            const auto& sample = *completion.audioSample;
            EXPECT_EQ(sample.sampleRate, 44100);
            EXPECT_EQ(sample.sourceBitDepth, 16);
            EXPECT_FALSE(sample.loop.has_value());
            ASSERT_EQ(sample.channelCount(), 1u);
            ASSERT_EQ(sample.frameCount(), dump.samples.size());
            for (std::size_t w = 0; w < dump.samples.size(); ++w) {
                ASSERT_EQ(sample.channels[0][w], static_cast<int32_t>(static_cast<uint32_t>(dump.samples[w]) << 16));
            }
        }
    }
    if (c.completedDumps.size() == 1 && c.completedDumps.front() == 0) {
        ASSERT_TRUE(rig.completions.front().sampleName.has_value());
        EXPECT_EQ(rig.completions.front().sampleName->asciiName(), "Snare");
    }
}

INSTANTIATE_TEST_SUITE_P(
    TwoSecondSixteenBitSample, SessionAgainstSampler,
    ::testing::Values(
        DumpCase{"handshakeWAV", true, SDSReceiveFormat::wav, true, {}, std::nullopt, {0, 1}},
        DumpCase{"openLoopAIFF", false, SDSReceiveFormat::aiff, true, {}, std::nullopt, {0, 1}},
        DumpCase{"handshakeRawWithoutEndOfFile", true, SDSReceiveFormat::rawSDS, false, {}, std::nullopt, {0, 1}},
        DumpCase{"openLoopNoneWithoutEndOfFile", false, SDSReceiveFormat::none, false, {}, std::nullopt, {0, 1}},
        DumpCase{"handshakeBadChecksumIsAskedForAgain", true, SDSReceiveFormat::wav, true,
                 script([](auto& s) { s.badChecksumPacket = 9; }), std::nullopt, {0, 1}},
        DumpCase{"handshakeSenderStopsMidway", true, SDSReceiveFormat::wav, true,
                 script([](auto& s) { s.stopAfterPackets = 100; }),
                 sds_failure::RetryExhausted{SDSRetryCause::timeout, 100}, {}},
        DumpCase{"openLoopSenderStopsMidway", false, SDSReceiveFormat::wav, true,
                 script([](auto& s) { s.stopAfterPackets = 100; }), sds_failure::LocalCancelled{}, {}, 10s},
        DumpCase{"handshakeNewHeaderMidDump", true, SDSReceiveFormat::rawSDS, true,
                 script([](auto& s) { s.newHeaderAfterPackets = 100; }),
                 sds_failure::InterruptedByNewHeader{4000, twoSecondWords}, {1}},
        DumpCase{"openLoopNewHeaderMidDump", false, SDSReceiveFormat::aiff, false,
                 script([](auto& s) { s.newHeaderAfterPackets = 100; }),
                 sds_failure::InterruptedByNewHeader{4000, twoSecondWords}, {1}}),
    [](const auto& info) { return info.param.name; });

TEST(SDSReceiveSession, OpenLoopBadChecksumFailsTheDump) {
    auto dumps = std::vector{twoSecondDump()};
    SessionRig rig(false, SDSReceiveFormat::wav, senderOptions(true, script([](auto& s) { s.badChecksumPacket = 9; })),
                   dumps);
    rig.start();
    ASSERT_TRUE(rig.runUntilOutcomes(1));
    rig.studio.runFor(1min);
    const uint8_t good = dumps[0].packets[9][125];
    EXPECT_TRUE(rig.completions.empty());
    ASSERT_EQ(rig.failures.size(), 1u);
    EXPECT_EQ(rig.failures.front(),
              SDSReceiveSessionFailure::transfer(sds_failure::ProtocolError{
                  SDSError(SDSError::ChecksumMismatch{9, good, static_cast<uint8_t>(good ^ 1)})}));
}

TEST(SDSReceiveSession, CompletionWaitsForTheEndOfFileGracePeriod) {
    struct Case {
        const char* name;
        bool emitEndOfFile;
        std::chrono::nanoseconds endOfFileDelay;  // after the last packet
        std::chrono::nanoseconds grace;
        std::chrono::nanoseconds expectedWait;   // from the last packet to the completion
        std::size_t rawMessages;                 // header + 3 packets (+ end-of-file)
    };
    const std::vector<Case> cases{
        {"endOfFileInTime", true, 10ms, 50ms, 10ms, 5},
        {"noEndOfFile", false, 10ms, 50ms, 50ms, 4},
        {"endOfFileTooLate", true, 80ms, 50ms, 50ms, 4},
        {"noGracePeriod", true, 10ms, 0ms, 0ms, 4},
    };
    for (const bool handshake : {true, false}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (handshake ? " handshake" : " open loop"));
            auto options = senderOptions(c.emitEndOfFile);
            options.endOfFileDelay = c.endOfFileDelay;
            SessionRig rig(handshake, SDSReceiveFormat::rawSDS, options, {shortDump(1, 120)}, std::nullopt, 5s,
                           c.grace);
            rig.start();
            ASSERT_TRUE(rig.runUntilOutcomes(1));
            rig.studio.runFor(1s);
            ASSERT_EQ(rig.completions.size(), 1u);
            EXPECT_TRUE(rig.failures.empty());
            EXPECT_EQ(rig.completions.front().rawMessages.size(), c.rawMessages);
            EXPECT_EQ(rig.completedAt.front() - rig.lastPacketArrival, c.expectedWait);
        }
    }
}

TEST(SDSReceiveSession, CancelDeliversAWaitingCompletionFirst) {
    SessionRig rig(true, SDSReceiveFormat::rawSDS, senderOptions(false), {shortDump(1, 120)});
    rig.start();
    ASSERT_TRUE(rig.studio.runUntil([&] { return rig.sender->isFinished(); }));
    rig.studio.runFor(2ms);  // the last packet is in, its completion waits for an end-of-file
    ASSERT_TRUE(rig.completions.empty());
    rig.session->cancel();
    rig.studio.runFor(1ms);
    EXPECT_EQ(rig.completions.size(), 1u);
    EXPECT_TRUE(rig.failures.empty());
    const auto cancelEvent = std::find(rig.events.begin(), rig.events.end(), "sds.receiver.cancelRequested");
    const auto deliveredEvent = std::find(rig.events.begin(), rig.events.end(), "sds.receiver.completionDelivered");
    EXPECT_LT(cancelEvent, deliveredEvent);
    EXPECT_FALSE(rig.sender->cancelHeard());
}

TEST(SDSReceiveSession, CancelMidDumpTellsTheSender) {
    SessionRig rig(true, SDSReceiveFormat::wav, senderOptions(true), {twoSecondDump()});
    rig.start();
    rig.studio.runFor(50ms);
    EXPECT_TRUE(std::holds_alternative<sds_receiver_status::Receiving>(rig.session->receiverStatus()));
    rig.session->cancel();
    ASSERT_TRUE(rig.runUntilOutcomes(1));
    rig.studio.runFor(1min);
    ASSERT_EQ(rig.failures.size(), 1u);
    EXPECT_EQ(rig.failures.front(), SDSReceiveSessionFailure::transfer(sds_failure::LocalCancelled{}));
    EXPECT_TRUE(rig.sender->cancelHeard());
    EXPECT_TRUE(rig.completions.empty());
}

TEST(SDSReceiveSession, TimersAreCappedAtTheMaximumScheduledTimeout) {
    auto configuration = receiverConfiguration(true);
    configuration.packetTimeout = 60s;
    SessionRig rig(true, SDSReceiveFormat::rawSDS, senderOptions(true, script([](auto& s) { s.stopAfterPackets = 3; })),
                   {shortDump(1, 400)}, configuration, 2s);
    rig.start();
    ASSERT_TRUE(rig.runUntilOutcomes(1));
    // Two NAKs and the final give-up, 2 s apart, from the last packet on.
    EXPECT_EQ(rig.studio.scheduler->now() - rig.lastArrival, 6s);
    EXPECT_EQ(rig.sender->negativeAcknowledgementsHeard(), 2u);
    EXPECT_EQ(rig.failures.front(),
              SDSReceiveSessionFailure::transfer(sds_failure::RetryExhausted{SDSRetryCause::timeout, 3}));
}

TEST(SDSReceiveSession, AnAnswerThatCannotBeSentAbandonsTheDump) {
    SessionRig rig(true, SDSReceiveFormat::wav, senderOptions(true), {shortDump(1, 400)});
    rig.studio.transport->selectOutput(std::nullopt);
    rig.start();
    ASSERT_TRUE(rig.runUntilOutcomes(1));
    rig.studio.runFor(1min);
    ASSERT_EQ(rig.failures.size(), 1u);
    EXPECT_EQ(rig.failures.front(), SDSReceiveSessionFailure(SDSReceiveSessionFailure::Transport{
                                        MIDITransportError::noOutputSelected().what()}));
    EXPECT_FALSE(std::holds_alternative<sds_receiver_status::Receiving>(rig.session->receiverStatus()));
    EXPECT_EQ(rig.studio.scheduler->pendingTaskCount(), 0u);
}

TEST(SDSReceiveSession, ReleasingMidDumpIsSilent) {
    SessionRig rig(true, SDSReceiveFormat::wav, senderOptions(true), {twoSecondDump()});
    rig.start();
    rig.studio.runFor(50ms);
    const auto answers = rig.studio.sent().size();
    const auto headers = rig.headers.size();
    rig.session.reset();
    rig.studio.runFor(1min);
    EXPECT_EQ(rig.studio.sent().size(), answers);
    EXPECT_EQ(rig.headers.size(), headers);
    EXPECT_TRUE(rig.failures.empty());
    EXPECT_TRUE(rig.completions.empty());
    EXPECT_EQ(rig.studio.scheduler->pendingTaskCount(), 0u);
}

TEST(SDSReceiveSession, KeepsTheMetadataOfEveryDumpItAccepted) {
    const SPS1UWFileNameMessage uwName(0, 1, SPS1UWFileName::normalizing("Hat"));
    auto first = shortDump(1, 100);
    first.opening.push_back(SDSSampleNameMessage(0, 1, "Hat").encode());
    auto dumps = std::vector{first, shortDump(2, 100)};
    SessionRig rig(true, SDSReceiveFormat::none, senderOptions(true), dumps);
    // The SPS-1UW name travels just before the header it names.
    rig.studio.transport->inject(uwName.encode());
    rig.start();
    ASSERT_TRUE(rig.runUntilOutcomes(2));

    const auto metadata = rig.session->receivedSampleMetadata();
    ASSERT_EQ(metadata.size(), 2u);
    EXPECT_EQ(metadata[0].header.sampleNumber(), 1);
    ASSERT_TRUE(metadata[0].sampleName && metadata[0].sps1UWName);
    EXPECT_EQ(metadata[0].sampleName->asciiName(), "Hat");
    EXPECT_EQ(metadata[0].sps1UWName->fileName.text(), "Hat ");
    EXPECT_EQ(metadata[1].header.sampleNumber(), 2);
    EXPECT_FALSE(metadata[1].sampleName || metadata[1].sps1UWName);
    EXPECT_EQ(rig.completions.front().rawMessages.front(), uwName.encode());
    EXPECT_EQ(rig.session->receiveFormat(), SDSReceiveFormat::none);
}

TEST(SDSReceiveCompletion, RecoversTheRateAClassicHeaderWasMadeFrom) {
    struct Case {
        double sentRate;
        int expected;
    };
    for (const auto& c : std::vector<Case>{{44100, 44100}, {48000, 48000}, {22050, 22050}, {32000, 32000},
                                           {11025, 11025}, {96000, 96000}, {31250, 31250}, {1000, 1000}}) {
        SCOPED_TRACE(c.sentRate);
        const SDSDumpHeaderMessage header = SDSDumpHeader(0, 0, 16, c.sentRate, 10, 0, 0, 0x7F);
        EXPECT_EQ(SDSReceiveCompletion::sampleRate(header), c.expected);
    }
    const SDSDumpHeaderMessage extended = SDSExtendedDumpHeader::withRateFields(0, 0, 16, 44100, 1u << 27, 10, 0, 0, 0x7F, 1);
    EXPECT_EQ(SDSReceiveCompletion::sampleRate(extended), 44101);
}

TEST(SDSReceiveCompletion, AudioCarriesTheHeadersLoopOnlyWhenItFits) {
    struct Case {
        const char* name;
        uint32_t start, end;
        uint8_t type;
        std::optional<AudioLoop> expected;
    };
    for (const auto& c : std::vector<Case>{{"forward", 100, 199, 0x00, AudioLoop{100, 199}},
                                           {"alternating", 0, 9, 0x01, AudioLoop{0, 9}},
                                           {"off", 100, 199, 0x7F, std::nullopt},
                                           {"pastTheEnd", 100, 1000, 0x00, std::nullopt}}) {
        SCOPED_TRACE(c.name);
        const SDSDumpHeaderMessage header = SDSDumpHeader(0, 0, 16, 44100, 1000, c.start, c.end, c.type);
        const auto completion = SDSReceiveCompletion::make(
            SDSReceivedDump{header, std::nullopt, std::nullopt, std::vector<int32_t>(1000), {}}, SDSReceiveFormat::aiff);
        ASSERT_TRUE(completion && completion->audioSample);
        EXPECT_EQ(completion->audioSample->loop, c.expected);
    }
}

TEST(SDSReceiveCompletion, AudioNeedsARateOfAtLeastOneHertz) {
    const SDSDumpHeaderMessage header = SDSExtendedDumpHeader::withRateFields(0, 0, 16, 0, 1, 4, 0, 0, 0x7F, 1);
    const SDSReceivedDump dump{header, std::nullopt, std::nullopt, {1, 2, 3, 4}, {}};
    EXPECT_FALSE(SDSReceiveCompletion::make(dump, SDSReceiveFormat::wav).has_value());
    EXPECT_TRUE(SDSReceiveCompletion::make(dump, SDSReceiveFormat::rawSDS).has_value());
}

}  // namespace
}  // namespace k7::testing
