#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <future>
#include <random>
#include <thread>

#include "K7Core/SysEx/SysExFileCodec.h"
#include "K7Dispatch/SerialQueue.h"
#include "MIDITestSupport.h"

namespace k7 {
namespace {

using namespace std::chrono_literals;
using testing::bytes;
using testing::MockRig;

// Framing itself is the stream parser's; here it must span chunks and turn faults into issues that
// count up, while the raw record keeps every byte as injected.
TEST(ReceivePath, DeliversCompleteMessagesAndReportsTheRest) {
    struct Case {
        std::vector<Bytes> chunks;
        std::vector<Bytes> messages;
        std::vector<std::size_t> discarded;  // by each malformedReceive issue, in order
    };
    const std::vector<Case> cases{
        {{bytes({0xF0}), bytes({1}), bytes({2}), bytes({0xF7})}, {bytes({0xF0, 1, 2, 0xF7})}, {}},
        {{bytes({0xF0, 1, 0xF8}), bytes({0xFE, 2, 0xFA, 0xF7, 0xFC})}, {bytes({0xF0, 1, 2, 0xF7})}, {}},
        {{bytes({0xF0, 1, 2, 0x90, 0x40, 0x7F, 0xF7, 0xF0, 3, 0xF7})}, {bytes({0xF0, 3, 0xF7})}, {3, 1}},
        {{bytes({0xF0, 1, 2, 3, 4, 5}), bytes({6, 7, 8, 9, 0xF7, 0xF0, 1, 0xF7})}, {bytes({0xF0, 1, 0xF7})}, {11}},
    };
    for (const auto& c : cases) {
        MIDIReceivePathConfiguration configuration = MockMIDITransportOptions::withoutWorker();
        configuration.maximumMessageBytes = 8;
        MockRig rig(configuration);
        rig.transport->inject(c.chunks);
        EXPECT_TRUE(rig.delivered.messages.empty()) << "delivery must wait for the receive queue";
        rig.scheduler->runUntilIdle();
        EXPECT_EQ(rig.delivered.messages, c.messages);
        ASSERT_EQ(rig.delivered.issues.size(), c.discarded.size());
        for (std::size_t i = 0; i < c.discarded.size(); ++i) {
            const auto* issue = rig.delivered.issues[i].as<MIDITransportIssue::MalformedReceive>();
            ASSERT_NE(issue, nullptr);
            EXPECT_EQ(issue->discardedByteCount, c.discarded[i]);
            EXPECT_EQ(issue->totalCount, i + 1);
            EXPECT_EQ(issue->sourceEndpointID, 11);
        }
        EXPECT_EQ(rig.delivered.rawBytes(), SysExFileCodec::join(c.chunks));
    }
}

// Real instrument dumps, cut at random places and sprinkled with clock bytes, come out whole.
TEST(ReceivePath, RealDumpsSurviveRandomChunkingAndClockBytes) {
    const std::filesystem::path folder = std::filesystem::path(K7_SOURCE_DIR) / ".." / "shared" / "testdata" / "elektron";
    if (!std::filesystem::exists(folder)) GTEST_SKIP() << "no instrument dumps at " << folder;
    std::mt19937 random(7);
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        std::ifstream file(entry.path(), std::ios::binary);
        const Bytes data{std::istreambuf_iterator<char>(file), {}};
        const auto expected = SysExFileCodec::parse(data, 16777216, 100000).messages;
        MockRig rig;
        Bytes stream;
        for (uint8_t byte : data) {
            if (random() % 17 == 0) stream.push_back(0xF8);
            stream.push_back(byte);
        }
        for (std::size_t at = 0; at < stream.size();) {
            const std::size_t size = std::min<std::size_t>(1 + random() % 300, stream.size() - at);
            rig.transport->inject(ByteView(stream).subspan(at, size));
            at += size;
        }
        rig.scheduler->runUntilIdle();
        EXPECT_EQ(rig.delivered.messages, expected) << entry.path();
        EXPECT_TRUE(rig.delivered.issues.empty()) << entry.path();
    }
}

// An overflow discards the message it cut and reports every lost byte; the tail of that message
// arriving after the gap is not a second issue, and the next message is delivered.
TEST(ReceivePath, OverflowDiscardsTheCutMessageOnly) {
    MIDIReceivePathConfiguration configuration = MockMIDITransportOptions::withoutWorker();
    configuration.ringCapacity = 16;
    MockRig rig(configuration);
    rig.transport->inject(bytes({0xF0, 1, 0xF7}));
    rig.transport->holdIngress();
    EXPECT_TRUE(rig.transport->inject(bytes({0xF0, 1, 2, 3, 4, 5, 6, 7, 8, 9})));
    EXPECT_FALSE(rig.transport->inject(bytes({10, 11, 12, 13, 14, 15, 16})));
    EXPECT_FALSE(rig.transport->inject(bytes({17})));
    rig.transport->releaseIngress();
    rig.transport->inject(bytes({18, 19, 0xF7, 0xF0, 2, 0xF7}));
    rig.scheduler->runUntilIdle();

    EXPECT_EQ(rig.delivered.messages, (std::vector<Bytes>{bytes({0xF0, 1, 0xF7}), bytes({0xF0, 2, 0xF7})}));
    ASSERT_EQ(rig.delivered.issues.size(), 1u);
    const auto* truncated = rig.delivered.issues[0].as<MIDITransportIssue::ReceiveTruncated>();
    ASSERT_NE(truncated, nullptr);
    EXPECT_EQ(truncated->totalCount, 8u + 10u);
    EXPECT_EQ(rig.transport->ingressMetrics().bytesDropped, 8u);
}

// Whatever arrived before the cancel is dropped, including a message begun on the receive queue.
TEST(ReceivePath, CancelDropsEverythingReceivedBeforeIt) {
    MockRig held;
    held.transport->holdIngress();
    held.transport->inject(bytes({0xF0, 1, 0xF7, 0xF0, 2, 3}));  // one whole, one begun
    held.transport->cancelPendingReceives();
    held.transport->inject(bytes({4, 0xF7, 0xF0, 5, 0xF7}));  // the begun one ends, a new one
    held.transport->releaseIngress();
    held.scheduler->runUntilIdle();
    EXPECT_EQ(held.delivered.messages, std::vector<Bytes>{bytes({0xF0, 5, 0xF7})});
    EXPECT_TRUE(held.delivered.issues.empty());

    MockRig framed;
    framed.transport->inject(bytes({0xF0, 1, 2}));
    framed.scheduler->runUntilIdle();
    framed.transport->cancelPendingReceives();
    framed.transport->inject(bytes({3, 0xF7, 0xF7}));  // the first F7 ends the dropped message, the second is stray
    framed.scheduler->runUntilIdle();
    EXPECT_TRUE(framed.delivered.messages.empty());
    ASSERT_EQ(framed.delivered.issues.size(), 1u);
    EXPECT_EQ(framed.delivered.issues[0].as<MIDITransportIssue::MalformedReceive>()->discardedByteCount, 1u);

    // Batches still queued at the cancel are dropped, those of an input left just before it too.
    for (const int step : {0, 1, 2}) {
        SCOPED_TRACE(step);
        const bool switchInput = step > 0, closeAfter = step == 2;
        MockRig queued;
        auto snapshot = testing::twoPortSnapshot();
        snapshot.inputs[1].isOnline = true;
        queued.transport->setEndpoints(snapshot);
        queued.transport->inject(bytes({0xF0, 1, 0xF7}));
        if (switchInput) queued.transport->selectInput(12);
        if (closeAfter) queued.transport->selectInput(std::nullopt);
        queued.transport->cancelPendingReceives();
        if (!closeAfter) queued.transport->inject(bytes({0xF0, 2, 0xF7}));
        queued.scheduler->runUntilIdle();
        EXPECT_EQ(queued.delivered.messages, closeAfter ? std::vector<Bytes>{} : std::vector<Bytes>{bytes({0xF0, 2, 0xF7})});
    }
}

// A drain ends once no SysEx has arrived for the quiet time, or at the timeout. Clock and active
// sensing never pause and may fall inside a message, and other traffic passes between messages:
// whatever runs beside the SysEx, the drain ends as on an input that carries nothing else.
TEST(ReceivePath, DrainWaitsForSysExInFlightOnly) {
    using Arrivals = std::vector<std::pair<std::chrono::milliseconds, Bytes>>;  // after the drain starts
    struct Case {
        const char* name;
        Arrivals arrivals;
        std::chrono::milliseconds end;
        MIDIReceiveDrainResult result;
        std::vector<Bytes> messages;
        bool keepsAMessageOpen = true;  // between arrivals, where only real-time bytes may fall
    };
    Arrivals neverQuiet;
    for (int i = 0; i < 8; ++i) neverQuiet.emplace_back(i * 400ms, i == 0 ? bytes({0xF0}) : bytes({i}));
    const std::vector<Case> cases{
        {"no SysEx", {}, 500ms, {true, 0}, {}, false},
        {"one message", {{400ms, bytes({0xF0, 1, 0xF7})}}, 900ms, {true, 0}, {bytes({0xF0, 1, 0xF7})}, false},
        {"a message that trickles in",
         {{0ms, bytes({0xF0, 1})}, {300ms, bytes({2, 3})}, {600ms, bytes({4, 0xF7})}},
         1100ms,
         {true, 0},
         {bytes({0xF0, 1, 2, 3, 4, 0xF7})}},
        {"a message cut off", {{100ms, bytes({0xF0, 1, 2, 3})}}, 600ms, {true, 4}, {}},
        {"a message still arriving", neverQuiet, 3000ms, {false, 8}, {}},
    };
    struct Traffic {
        const char* name;
        std::chrono::milliseconds period;
        Bytes bytes;
        bool realTime;
    };
    const std::vector<Traffic> traffic{
        {"none", 0ms, {}, true},
        {"clock", 21ms, bytes({0xF8}), true},
        {"active sensing", 300ms, bytes({0xFE}), true},
        {"transport and clock", 21ms, bytes({0xFA, 0xF8, 0xFC}), true},
        {"channel and system common", 50ms, bytes({0x90, 0x40, 0x7F, 0x41, 0x00, 0xF2, 0x10, 0x20, 0xF1, 0x30}),
         false},
    };
    for (const auto& beside : traffic) {
        for (const auto& c : cases) {
            if (!beside.realTime && c.keepsAMessageOpen) continue;
            SCOPED_TRACE(std::string(c.name) + " beside " + beside.name);
            MockRig rig;
            const auto start = rig.scheduler->now();
            for (const auto& [at, chunk] : c.arrivals) rig.transport->injectAfter(at, chunk);
            if (!beside.bytes.empty()) {
                for (auto at = 0ms; at < 5s; at += beside.period) rig.transport->injectAfter(at, beside.bytes);
            }
            std::optional<MIDIReceiveDrainResult> result;
            Scheduler::TimePoint ended{};
            rig.transport->drainPendingReceives(500ms, 3000ms, [&](MIDIReceiveDrainResult r) {
                result = r;
                ended = rig.scheduler->now();
            });
            EXPECT_FALSE(result) << "the completion must not run inside the call";
            rig.scheduler->runAll();
            ASSERT_TRUE(result);
            EXPECT_EQ(*result, c.result);
            EXPECT_EQ(std::chrono::duration_cast<std::chrono::milliseconds>(ended - start), c.end);
            EXPECT_EQ(rig.delivered.messages, c.messages);
            EXPECT_TRUE(rig.delivered.issues.empty());
        }
    }
}

// Batches waiting for the receive queue are handed over together, but never past a drain asked
// for between them; nor is the drained tail completed or reported once the drain has ended.
TEST(ReceivePath, ArrivalsAfterADrainRequestAreFramedAfterIt) {
    for (const bool afterTheEnd : {false, true}) {
        SCOPED_TRACE(afterTheEnd ? "after the drain ended" : "before the receive queue ran");
        MockRig rig;
        rig.transport->inject(bytes({0xF0, 1}));
        std::optional<MIDIReceiveDrainResult> result;
        rig.transport->drainPendingReceives(0ms, 3000ms, [&](MIDIReceiveDrainResult r) { result = r; });
        if (afterTheEnd) rig.scheduler->runAll();
        rig.transport->inject(bytes({2, 0xF7}));
        rig.transport->inject(bytes({0xF0, 3, 0xF7}));
        rig.scheduler->runAll();
        ASSERT_TRUE(result);
        EXPECT_EQ(*result, (MIDIReceiveDrainResult{true, 2}));
        EXPECT_EQ(rig.delivered.messages, std::vector<Bytes>{bytes({0xF0, 3, 0xF7})});
        EXPECT_TRUE(rig.delivered.issues.empty());
        EXPECT_EQ(rig.delivered.batches.size(), 3u) << "each batch is still recorded as it left the ring";
    }
}

// A producer thread keeps writing while the owner switches inputs and closes them: writes never
// reach a connection that is being torn down (the sanitizer builds would see it), and every
// message that arrives is one that was written whole into one input.
TEST(ReceivePath, InputsReplacedWhileAProducerWritesKeepMessagesWhole) {
    auto queue = std::make_shared<SerialQueue>("k7.test.receive");
    std::mutex mutex;
    std::vector<Bytes> messages;
    MIDIReceivePath::Handlers handlers;
    handlers.message = [&](const Bytes& message) {
        std::lock_guard lock(mutex);
        messages.push_back(message);
    };
    MIDIReceivePathConfiguration configuration;
    configuration.ringCapacity = 4096;
    MIDIReceivePath path(queue, handlers, configuration);
    std::atomic<bool> stop{false};
    std::size_t accepted = 0;
    std::thread producer([&] {
        for (uint8_t fill = 0; !stop.load(); fill = static_cast<uint8_t>((fill + 1) & 0x7F)) {
            Bytes message(1 + fill % 50 + 2, fill);
            message.front() = 0xF0;
            message.back() = 0xF7;
            if (path.write(message)) ++accepted;
            if (fill % 8 == 0) path.markLoss(0);
        }
    });
    for (int round = 0; round < 300; ++round) {
        if (round % 3 == 2) {
            path.disconnect();
        } else {
            path.connect(round % 2 ? 11 : 12);
        }
    }
    stop = true;
    producer.join();
    path.disconnect();
    std::promise<void> idle;
    queue->post([&] { idle.set_value(); });
    idle.get_future().wait();
    std::lock_guard lock(mutex);
    EXPECT_LE(messages.size(), accepted);
    for (const auto& message : messages) {
        ASSERT_GE(message.size(), 3u);
        const Bytes body(message.begin() + 1, message.end() - 1);
        EXPECT_EQ(body, Bytes(body.size(), body.front())) << "a message mixes two writes";
        EXPECT_EQ(body.size(), 1u + body.front() % 50u);
    }
}

// Selecting the same input again keeps its stream; another input starts a fresh one.
TEST(ReceivePath, SelectingAnotherInputStartsAFreshStream) {
    MockRig rig;
    auto snapshot = testing::twoPortSnapshot();
    snapshot.inputs[1].isOnline = true;
    rig.transport->setEndpoints(snapshot);
    rig.transport->inject(bytes({0xF0, 1}));
    rig.transport->selectInput(11);
    rig.transport->inject(bytes({2, 0xF7, 0xF0, 4}));
    rig.transport->selectInput(12);
    rig.transport->inject(bytes({2, 0xF7, 0xF0, 3, 0xF7}));
    rig.scheduler->runUntilIdle();
    EXPECT_EQ(rig.delivered.messages, (std::vector<Bytes>{bytes({0xF0, 1, 2, 0xF7}), bytes({0xF0, 3, 0xF7})}));
    ASSERT_EQ(rig.delivered.batches.size(), 3u);
    EXPECT_EQ(rig.delivered.batches[2].sourceEndpointID, 12);
    EXPECT_EQ(rig.delivered.batches[2].streamOffset, 0u);
}

}  // namespace
}  // namespace k7
