#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "K7Core/SDS/SDSExtendedDumpHeader.h"
#include "K7Core/SDS/SDSSampleNameMessage.h"
#include "K7Core/SPS1UW/SPS1UWFileNameMessage.h"
#include "K7MIDI/SDS/SDSReceiveSession.h"
#include "SessionTestSupport.h"
#include "Support/SimulatedSDSSender.h"
#include "Support/SimulatedStudio.h"

namespace k7::testing {
namespace {

using Script = SimulatedSDSSenderScript;

SimulatedSDSDump twoSecondDump() {
    return SimulatedSDSDump::make(0, slot, 16, period44100, twoSecondSignal(),
                                  {SDSSampleNameMessage(0, slot, "Snare").encode()});
}

SimulatedSDSDump shortDump(uint16_t sampleNumber, std::size_t words) {
    return SimulatedSDSDump::make(0, sampleNumber, 16, period44100, sds_wire::testSignal(words));
}

SimulatedSDSSender::Options sampler(bool handshake = true, bool emitEndOfFile = true, Script script = {}) {
    return {.handshake = handshake, .emitEndOfFile = emitEndOfFile, .endOfFileDelay = {}, .script = script};
}

// A session on the studio's virtual time, fed by a simulated sampler, in the sampler's mode.
struct SessionRig {
    SessionRig(SDSReceiveFormat format, SimulatedSDSSender::Options sampler, std::vector<SimulatedSDSDump> dumps,
               std::chrono::nanoseconds cap = 5s, std::chrono::nanoseconds grace = 50ms)
        : sender(std::make_shared<SimulatedSDSSender>(sampler, std::move(dumps))),
          session(std::make_unique<SDSReceiveSession>(studio.transport, receiverConfiguration(sampler.handshake),
                                                      format, studio.scheduler, studio.scheduler, cap, grace,
                                                      studio.scheduler)) {
        studio.attach(sender);
        studio.onReceive([this](const Bytes& message) {
            if (sds_wire::isPacket(message)) lastPacketArrival = studio.scheduler->now();
            if (session) session->receive(message);
        });
        session->onCompleted = [this](const SDSReceiveCompletion& c) {
            completions.push_back(c);
            completedAt = studio.scheduler->now();
        };
        session->onFailure = [this](const SDSReceiveSessionFailure& f) { failures.push_back(f); };
    }

    void start() { sender->start(*studio.transport); }
    bool runUntilOutcomes(std::size_t count) {
        return studio.runUntil([&] { return completions.size() + failures.size() >= count; }, 10min);
    }

    SimulatedStudio studio;
    std::shared_ptr<SimulatedSDSSender> sender;
    std::unique_ptr<SDSReceiveSession> session;
    std::vector<SDSReceiveCompletion> completions;
    std::vector<SDSReceiveSessionFailure> failures;
    ManualScheduler::TimePoint completedAt{};
    ManualScheduler::TimePoint lastPacketArrival{};
};

struct DumpCase {
    std::string name;
    SDSReceiveFormat format;
    SimulatedSDSSender::Options sampler;
    std::optional<SDSTransferFailure> failure;  // of the first dump
    std::vector<std::size_t> completedDumps;     // in order, after the failure
};

void PrintTo(const DumpCase& c, std::ostream* os) { *os << c.name; }

class SessionAgainstSampler : public ::testing::TestWithParam<DumpCase> {};

TEST_P(SessionAgainstSampler, ReceivesWhatTheSamplerSent) {
    const auto& c = GetParam();
    const std::vector<SimulatedSDSDump> dumps{twoSecondDump(), shortDump(slot + 1, 1000)};
    SessionRig rig(c.format, c.sampler, dumps);
    const Bytes uwName = SPS1UWFileNameMessage(0, slot, SPS1UWFileName::normalizing("Snare")).encode();
    rig.studio.transport->inject(uwName);  // an SPS-1UW name travels just before the header it names
    rig.start();
    const std::size_t outcomes = (c.failure ? 1 : 0) + c.completedDumps.size();
    ASSERT_TRUE(rig.runUntilOutcomes(outcomes));
    rig.studio.runFor(1min);  // nothing more may come

    ASSERT_EQ(rig.failures.size(), c.failure ? 1u : 0u);
    if (c.failure) {
        EXPECT_EQ(rig.failures[0], SDSReceiveSessionFailure::transfer(*c.failure)) << rig.failures[0].describe();
    }
    // Every header accepted is kept, with the names that came with it.
    const auto metadata = rig.session->receivedSampleMetadata();
    ASSERT_EQ(metadata.size(), outcomes);
    for (std::size_t d = 0; d < metadata.size(); ++d) {
        EXPECT_EQ(metadata[d].header.sampleNumber(), slot + d);
        EXPECT_EQ(metadata[d].sampleName ? metadata[d].sampleName->asciiName() : "", d ? "" : "Snare");
        EXPECT_EQ(metadata[d].sps1UWName.has_value(), d == 0);
    }

    ASSERT_EQ(rig.completions.size(), c.completedDumps.size());
    for (std::size_t i = 0; i < c.completedDumps.size(); ++i) {
        const std::size_t d = c.completedDumps[i];
        const auto& completion = rig.completions[i];
        EXPECT_EQ(completion.samples, dumps[d].samples);
        EXPECT_EQ(completion.nextSamplePosition, slot + d + 1);
        EXPECT_EQ(completion.sampleName.has_value(), d == 0);

        // Every message of the dump, once, as sent; the end-of-file with it when it came.
        std::vector<Bytes> expected{dumps[d].header};
        if (d == 0) expected.insert(expected.begin(), uwName);
        expected.insert(expected.end(), dumps[d].opening.begin(), dumps[d].opening.end());
        expected.insert(expected.end(), dumps[d].packets.begin(), dumps[d].packets.end());
        const auto lastPacket = static_cast<uint8_t>(dumps[d].packets.size() & 0x7F);
        if (c.sampler.emitEndOfFile) expected.push_back(sds_wire::control(sds_wire::endOfFile, 0, lastPacket));
        EXPECT_EQ(completion.rawMessages, expected);
        Bytes joined;
        for (const auto& m : expected) joined.insert(joined.end(), m.begin(), m.end());
        EXPECT_EQ(completion.rawData, joined);

        const bool audio = c.format == SDSReceiveFormat::wav || c.format == SDSReceiveFormat::aiff;
        ASSERT_EQ(completion.audioSample.has_value(), audio);
        if (!audio) continue;
        EXPECT_EQ(completion.audioSample->sampleRate, 44100);
        EXPECT_EQ(completion.audioSample->sourceBitDepth, 16);
        EXPECT_FALSE(completion.audioSample->loop.has_value());
        std::vector<int32_t> fullScale;
        for (const int32_t word : dumps[d].samples) fullScale.push_back(static_cast<int32_t>(uint32_t(word) << 16));
        EXPECT_EQ(completion.audioSample->channels, std::vector<std::vector<int32_t>>{fullScale});
    }
}

INSTANTIATE_TEST_SUITE_P(
    TwoSecondSixteenBitSample, SessionAgainstSampler,
    ::testing::Values(
        DumpCase{"handshakeWAV", SDSReceiveFormat::wav, sampler(), std::nullopt, {0, 1}},
        DumpCase{"openLoopAIFF", SDSReceiveFormat::aiff, sampler(false), std::nullopt, {0, 1}},
        DumpCase{"badChecksumIsAskedForAgain", SDSReceiveFormat::rawSDS,
                 sampler(true, false, scripted<Script>([](auto& s) { s.badChecksumPacket = 9; })), std::nullopt,
                 {0, 1}},
        DumpCase{"senderStopsMidway", SDSReceiveFormat::wav,
                 sampler(true, true, scripted<Script>([](auto& s) { s.stopAfterPackets = 100; })),
                 sds_failure::RetryExhausted{SDSRetryCause::timeout, 100}, {}},
        DumpCase{"newHeaderMidDump", SDSReceiveFormat::none,
                 sampler(false, false, scripted<Script>([](auto& s) { s.newHeaderAfterPackets = 100; })),
                 sds_failure::InterruptedByNewHeader{4000, twoSecondWords}, {1}}),
    [](const auto& info) { return info.param.name; });

TEST(SDSReceiveSession, CompletionWaitsForTheEndOfFileGracePeriod) {
    struct Case {
        const char* name;
        bool emitEndOfFile;
        std::chrono::nanoseconds endOfFileDelay;  // after the last packet
        std::chrono::nanoseconds grace;
        std::chrono::nanoseconds expectedWait;  // from the last packet to the completion
        bool endOfFileKept;
        Script script = {};
    };
    // The sender missed the ACK of the last packet and sends it again: the wait starts anew.
    const auto lastAckMissed = scripted<Script>([](auto& s) {
        s.missesAckOfPacket = 2;
        s.missedAckResendDelay = 30ms;
    });
    for (const bool handshake : {true, false}) {
        for (const auto& c : std::vector<Case>{{"endOfFileInTime", true, 10ms, 50ms, 10ms, true},
                                               {"noEndOfFile", false, 10ms, 50ms, 50ms, false},
                                               {"endOfFileTooLate", true, 80ms, 50ms, 50ms, false},
                                               {"noGracePeriod", true, 10ms, 0ms, 0ms, false},
                                               {"lastPacketResent", true, 10ms, 50ms, 10ms, true, lastAckMissed}}) {
            if (!handshake && c.script.missesAckOfPacket) continue;
            SCOPED_TRACE(std::string(c.name) + (handshake ? " handshake" : " open loop"));
            auto options = sampler(handshake, c.emitEndOfFile, c.script);
            options.endOfFileDelay = c.endOfFileDelay;
            SessionRig rig(SDSReceiveFormat::rawSDS, options, {shortDump(1, 120)}, 5s, c.grace);
            rig.start();
            ASSERT_TRUE(rig.runUntilOutcomes(1));
            rig.studio.runFor(1s);
            ASSERT_EQ(rig.completions.size(), 1u);
            EXPECT_TRUE(rig.failures.empty());
            EXPECT_EQ(rig.completions[0].rawMessages.size(), 4u + c.endOfFileKept);  // header, 3 packets
            EXPECT_EQ(rig.completedAt - rig.lastPacketArrival, c.expectedWait);
        }
    }
}

TEST(SDSReceiveSession, CancelDeliversAWaitingCompletionFirst) {
    SessionRig rig(SDSReceiveFormat::rawSDS, sampler(true, false), {shortDump(1, 120)});
    rig.start();
    ASSERT_TRUE(rig.studio.runUntil([&] { return rig.sender->isFinished(); }));
    rig.studio.runFor(2ms);  // the last packet is in, its completion waits for an end-of-file
    ASSERT_TRUE(rig.completions.empty());
    rig.session->cancel();
    rig.studio.runFor(1ms);  // well before the grace period would end
    EXPECT_EQ(rig.completions.size(), 1u);
    EXPECT_TRUE(rig.failures.empty());
    EXPECT_FALSE(rig.sender->cancelHeard());
}

TEST(SDSReceiveSession, CancellingMidDumpTellsTheSenderAndReleasingIsSilent) {
    struct Case {
        const char* name;
        bool cancel;
        bool release;
    };
    for (const auto& c : std::vector<Case>{{"cancelled", true, false},
                                           {"released", false, true},
                                           // Before the session's queue gets to the cancel.
                                           {"cancelled, then released at once", true, true}}) {
        SCOPED_TRACE(c.name);
        SessionRig rig(SDSReceiveFormat::wav, sampler(), {twoSecondDump()});
        std::vector<std::pair<std::string, SDSDiagnosticFields>> events;
        rig.session->onDiagnosticEvent = [&](const std::string& name, const SDSDiagnosticFields& fields) {
            events.emplace_back(name, fields);
        };
        rig.start();
        rig.studio.runFor(50ms);
        ASSERT_TRUE(std::holds_alternative<sds_receiver_status::Receiving>(rig.session->receiverStatus()));
        const auto answers = rig.studio.sent().size();
        // The next packet expected: one ACK went to the header.
        const auto packet = static_cast<uint8_t>((rig.sender->acknowledgementsHeard() - 1) & 0x7F);
        events.clear();
        if (c.cancel) rig.session->cancel();
        if (c.release) rig.session.reset();
        rig.studio.runFor(1min);
        EXPECT_TRUE(rig.completions.empty());
        EXPECT_EQ(rig.studio.scheduler->pendingTaskCount(), 0u);
        // A cancel asked for tells the sampler once, and nothing follows it; a session released
        // without one says nothing at all.
        const auto sent = rig.studio.sent();
        ASSERT_EQ(sent.size(), answers + (c.cancel ? 1 : 0));
        if (c.cancel) {
            EXPECT_EQ(sent.back(), sds_wire::control(sds_wire::cancel, 0, packet));
        }
        EXPECT_EQ(rig.sender->cancelHeard(), c.cancel);
        const auto cancelled = SDSReceiveSessionFailure::transfer(sds_failure::LocalCancelled{});
        EXPECT_EQ(rig.failures,
                  c.cancel && !c.release ? std::vector{cancelled} : std::vector<SDSReceiveSessionFailure>{});
        ASSERT_EQ(events.empty(), !c.cancel);
        if (c.cancel) {
            EXPECT_EQ(events.front().first, "sds.receiver.cancelRequested");
            EXPECT_EQ(events.front().second, (SDSDiagnosticFields{{"status", "receiving"}}));
        }
    }
}

// Diagnostic events come on the callback queue, in order with the other callbacks.
TEST(SDSReceiveSession, DiagnosticEventsComeOnTheCallbackQueue) {
    SimulatedStudio studio;
    auto callbacks = std::make_shared<ManualScheduler>();
    SDSReceiveSession session(studio.transport, receiverConfiguration(true), SDSReceiveFormat::rawSDS, callbacks,
                              studio.scheduler, 5s, 50ms, studio.scheduler);
    std::vector<std::string> calls;
    session.onDiagnosticEvent = [&](const std::string& name, const SDSDiagnosticFields&) { calls.push_back(name); };
    session.onHeader = [&](const SDSDumpHeaderMessage&) { calls.push_back("onHeader"); };
    session.receive(sds_wire::classicHeader(0, 3, 16, period44100, 200));
    studio.scheduler->runUntilIdle();
    EXPECT_TRUE(calls.empty()) << calls.front();
    EXPECT_EQ(studio.sent().size(), 1u);  // the header's ACK went out on the session's queue
    session.cancel();
    studio.scheduler->runUntilIdle();
    EXPECT_TRUE(calls.empty()) << calls.front();
    callbacks->runUntilIdle();
    EXPECT_EQ(calls, (std::vector<std::string>{"sds.receiver.headerAccepted", "onHeader",
                                               "sds.receiver.cancelRequested", "sds.receiver.failed"}));
}

TEST(SDSReceiveSession, TimersAreCappedAtTheMaximumScheduledTimeout) {
    SessionRig rig(SDSReceiveFormat::rawSDS,
                   sampler(true, true, scripted<Script>([](auto& s) { s.stopAfterPackets = 3; })),
                   {shortDump(1, 400)}, 2s);
    rig.start();
    ASSERT_TRUE(rig.runUntilOutcomes(1));
    // The 5 s packet timeout cut to 2 s: two NAKs and the final give-up, 2 s apart, after the last packet.
    EXPECT_EQ(rig.studio.scheduler->now() - rig.lastPacketArrival, 6s);
    EXPECT_EQ(rig.sender->negativeAcknowledgementsHeard(), 2u);
    EXPECT_EQ(rig.failures,
              std::vector{SDSReceiveSessionFailure::transfer(sds_failure::RetryExhausted{SDSRetryCause::timeout, 3})});
}

TEST(SDSReceiveSession, AnAnswerThatCannotBeSentAbandonsTheDump) {
    SessionRig rig(SDSReceiveFormat::wav, sampler(), {shortDump(1, 400)});
    rig.studio.transport->selectOutput(std::nullopt);
    rig.start();
    ASSERT_TRUE(rig.runUntilOutcomes(1));
    rig.studio.runFor(1min);
    EXPECT_EQ(rig.failures, std::vector{SDSReceiveSessionFailure(SDSReceiveSessionFailure::Transport{
                                MIDITransportError::noOutputSelected().what()})});
    EXPECT_FALSE(std::holds_alternative<sds_receiver_status::Receiving>(rig.session->receiverStatus()));
    EXPECT_EQ(rig.studio.scheduler->pendingTaskCount(), 0u);
}

TEST(SDSReceiveCompletion, TakesTheRateAndTheLoopFromTheHeader) {
    struct Case {
        const char* name;
        SDSDumpHeaderMessage header;
        std::optional<int> rate;  // none: no audio can be made
        std::optional<AudioLoop> loop = std::nullopt;
    };
    const auto classic = [](double rate, uint32_t start = 0, uint32_t end = 0, uint8_t type = 0x7F) {
        return SDSDumpHeaderMessage(SDSDumpHeader(0, 0, 16, rate, 1000, start, end, type));
    };
    const auto extended = [](uint32_t hertz, uint32_t fraction) {
        return SDSDumpHeaderMessage(
            SDSExtendedDumpHeader::withRateFields(0, 0, 16, hertz, fraction, 1000, 0, 0, 0x7F, 1));
    };
    // A classic header carries the period in whole nanoseconds: 44100 Hz arrives as 44101.2, 48000 as 48000.8.
    for (const auto& c : std::vector<Case>{
             {"classic44100", classic(44100), 44100},
             {"classic48000", classic(48000), 48000},
             {"classicUncommonRate", classic(31250), 31250},
             {"extendedIsNotSnapped", extended(44100, 1u << 27), 44101},
             {"extendedOneHertz", extended(1, 0), 1},
             {"extendedBelowOneHertz", extended(0, 1), std::nullopt},
             {"loopEndsOnTheLastFrame", classic(44100, 100, 999, 0x00), 44100, AudioLoop{100, 999}},
             {"loopOff", classic(44100, 100, 199, 0x7F), 44100},
             {"loopPastTheEnd", classic(44100, 100, 1000, 0x00), 44100},
             {"loopReversed", classic(44100, 200, 100, 0x00), 44100}}) {
        SCOPED_TRACE(c.name);
        const SDSReceivedDump dump{c.header, std::nullopt, std::nullopt, std::vector<int32_t>(1000), {}};
        EXPECT_TRUE(SDSReceiveCompletion::make(dump, SDSReceiveFormat::rawSDS).has_value());  // whatever the rate
        const auto completion = SDSReceiveCompletion::make(dump, SDSReceiveFormat::aiff);
        ASSERT_EQ(completion.has_value(), c.rate.has_value());
        if (!completion) continue;
        ASSERT_TRUE(completion->audioSample.has_value());
        EXPECT_EQ(completion->audioSample->sampleRate, *c.rate);
        EXPECT_EQ(completion->audioSample->loop, c.loop);
    }
}

}  // namespace
}  // namespace k7::testing
