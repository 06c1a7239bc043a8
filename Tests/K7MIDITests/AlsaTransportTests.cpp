#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <filesystem>
#include <future>

#include "K7MIDI/Alsa/AlsaMIDITransport.h"
#include "K7MIDI/Transport/MIDISendPacer.h"
#include "MIDITestSupport.h"

namespace k7 {
namespace {

using namespace std::chrono_literals;
using testing::bytes;
using Kind = AlsaInputEvent::Kind;

Bytes sysEx(std::size_t size) {
    Bytes message(size, 0x11);
    message.front() = 0xF0;
    message.back() = 0xF7;
    return message;
}

TEST(AlsaEndpointCatalog, IdsArePositiveStableAndDependOnNamesOnly) {
    const int32_t id = AlsaEndpointCatalog::stableID("Elektron Machinedrum", "Elektron Machinedrum MIDI 1");
    EXPECT_GT(id, 0);
    EXPECT_EQ(id, AlsaEndpointCatalog::stableID("Elektron Machinedrum", "Elektron Machinedrum MIDI 1"));
    // The separator keeps "ab"+"c" apart from "a"+"bc".
    EXPECT_NE(AlsaEndpointCatalog::stableID("ab", "c"), AlsaEndpointCatalog::stableID("a", "bc"));

    // Re-plugging moves the client number; the id stays.
    auto catalogWith = [](int client) {
        return AlsaEndpointCatalog::build({{{client, 0}, "TM-1", "TM-1 MIDI 1", true, true, false}}, 128);
    };
    EXPECT_EQ(catalogWith(20).snapshot, catalogWith(24).snapshot);
    EXPECT_EQ(catalogWith(24).address(catalogWith(20).snapshot.inputs[0].id), (AlsaPortAddress{24, 0}));
}

TEST(AlsaEndpointCatalog, ListsOtherClientsPortsByDirection) {
    const std::vector<AlsaPortDescription> ports{
        {{0, 1}, "System", "Announce", true, false, false},
        {{14, 0}, "Midi Through", "Midi Through Port-0", true, true, false},
        {{20, 0}, "Analog Rytm", "Analog Rytm MIDI 1", true, false, false},
        {{20, 1}, "Analog Rytm", "Control", false, true, false},
        {{20, 2}, "Analog Rytm", "Hidden", true, true, true},
        {{128, 0}, "V7/64", "Input", false, true, false},
    };
    const auto catalog = AlsaEndpointCatalog::build(ports, 128);
    const auto names = [](const std::vector<MIDIEndpoint>& endpoints) {
        std::vector<std::string> result;
        for (const auto& e : endpoints) result.push_back(e.name + (e.isOnline ? "" : " (offline)") + " / " + *e.model);
        return result;
    };
    EXPECT_EQ(names(catalog.snapshot.inputs),
              (std::vector<std::string>{"Midi Through Port-0 / Midi Through", "Analog Rytm MIDI 1 / Analog Rytm"}));
    EXPECT_EQ(names(catalog.snapshot.outputs),
              (std::vector<std::string>{"Midi Through Port-0 / Midi Through", "Analog Rytm: Control / Analog Rytm"}));
}

// Two ports whose names hash alike get distinct ids, the same ones whatever order the system
// lists them in.
TEST(AlsaEndpointCatalog, CollisionsResolveDeterministically) {
    std::map<int32_t, std::string> seen;
    std::pair<std::string, std::string> clash;
    for (int i = 0; clash.first.empty(); ++i) {
        const std::string name = "Port " + std::to_string(i);
        auto [it, inserted] = seen.emplace(AlsaEndpointCatalog::stableID("Device", name), name);
        if (!inserted) clash = {it->second, name};
    }
    std::vector<AlsaPortDescription> ports{{{20, 0}, "Device", clash.first, true, false, false},
                                           {{21, 0}, "Device", clash.second, true, false, false}};
    const auto forward = AlsaEndpointCatalog::build(ports, 128);
    std::swap(ports[0], ports[1]);
    const auto backward = AlsaEndpointCatalog::build(ports, 128);
    ASSERT_EQ(forward.snapshot.inputs.size(), 2u);
    EXPECT_NE(forward.snapshot.inputs[0].id, forward.snapshot.inputs[1].id);
    EXPECT_EQ(forward.addresses, backward.addresses);
}

TEST(AlsaInputEvent, ConvertsToMIDIBytes) {
    auto event = [](Kind kind, uint8_t channel, uint32_t parameter, int32_t value, Bytes data = {}) {
        return AlsaInputEvent{kind, {20, 0}, channel, parameter, value, std::move(data)};
    };
    const std::vector<std::pair<AlsaInputEvent, Bytes>> cases{
        {event(Kind::noteOn, 2, 60, 100), bytes({0x92, 60, 100})},
        {event(Kind::controller, 0, 7, 300), bytes({0xB0, 7, 127})},
        {event(Kind::pitchBend, 0, 0, -8192), bytes({0xE0, 0, 0})},
        {event(Kind::pitchBend, 0, 0, 8191), bytes({0xE0, 0x7F, 0x7F})},
        {event(Kind::control14, 0, 1, 0x1234), bytes({0xB0, 1, 0x24, 0xB0, 33, 0x34})},
        {event(Kind::nonRegisteredParameter, 0, 0x81, 0x82),
         bytes({0xB0, 99, 1, 0xB0, 98, 1, 0xB0, 6, 1, 0xB0, 38, 2})},
        {event(Kind::songPosition, 0, 0, 200), bytes({0xF2, 0x48, 1})},
        {event(Kind::clock, 0, 0, 0), bytes({0xF8})},
        {event(Kind::sysEx, 0, 0, 0, bytes({1, 2, 0xF7})), bytes({1, 2, 0xF7})},
        {event(Kind::endpointsChanged, 0, 0, 0), {}},
    };
    for (const auto& [event, expected] : cases) {
        Bytes out{0x55};
        event.appendMIDIBytes(out);
        EXPECT_EQ(Bytes(out.begin() + 1, out.end()), expected) << static_cast<int>(event.kind);
    }
}

// Wire time rounds up and does not overflow; chunks stay between the smallest and largest.
TEST(MIDISendPacer, WireTimeAndChunks) {
    EXPECT_EQ(MIDISendPacer::wireTime(1, 3), std::chrono::nanoseconds(333333334));
    EXPECT_EQ(MIDISendPacer::wireTime(16777216, 1), std::chrono::seconds(16777216));
    EXPECT_EQ(MIDISendPacer::chunkSize(3125), 62u);
    EXPECT_EQ(MIDISendPacer::chunkSize(62500), 256u);
    EXPECT_EQ(MIDISendPacer::chunkSize(10), 16u);
}

// A sequencer in memory: records what the transport does and lets a test feed input events.
class FakeSequencer final : public AlsaSequencing {
public:
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        std::vector<AlsaPortDescription> ports;
        std::vector<std::string> calls;
        std::vector<Bytes> pieces;
        std::deque<std::vector<AlsaInputEvent>> input;
        bool woken = false;
        bool readerWaiting = false;
    };
    explicit FakeSequencer(std::shared_ptr<Shared> shared) : shared_(std::move(shared)) {}

    int clientID() const override { return 128; }
    std::vector<AlsaPortDescription> ports() override {
        std::lock_guard lock(shared_->mutex);
        return shared_->ports;
    }
    void connectInput(AlsaPortAddress a) override { call("connectInput", a); }
    void disconnectInput(AlsaPortAddress a) override { call("disconnectInput", a); }
    void connectOutput(AlsaPortAddress a) override { call("connectOutput", a); }
    void disconnectOutput(AlsaPortAddress a) override { call("disconnectOutput", a); }
    void sendSysEx(ByteView piece) override {
        std::lock_guard lock(shared_->mutex);
        shared_->pieces.emplace_back(piece.begin(), piece.end());
    }
    std::vector<AlsaInputEvent> readEvents() override {
        std::unique_lock lock(shared_->mutex);
        shared_->readerWaiting = true;
        shared_->changed.notify_all();
        shared_->changed.wait(lock, [&] { return !shared_->input.empty() || shared_->woken; });
        shared_->readerWaiting = shared_->woken = false;
        if (shared_->input.empty()) return {};
        auto events = std::move(shared_->input.front());
        shared_->input.pop_front();
        return events;
    }
    void wake() override {
        std::lock_guard lock(shared_->mutex);
        shared_->woken = true;
        shared_->changed.notify_all();
    }

private:
    void call(const char* name, AlsaPortAddress a) {
        std::lock_guard lock(shared_->mutex);
        shared_->calls.push_back(std::string(name) + " " + std::to_string(a.client) + ":" + std::to_string(a.port));
    }
    std::shared_ptr<Shared> shared_;
};

struct AlsaRig {
    AlsaRig() {
        shared->ports = {{{20, 0}, "Machinedrum", "Machinedrum MIDI 1", true, true, false},
                         {{24, 0}, "Keyboard", "Keyboard MIDI 1", true, false, false}};
        MIDIReceivePathConfiguration receivePath;
        receivePath.usesWorkerThread = false;
        transport =
            std::make_unique<AlsaMIDITransport>(std::make_unique<FakeSequencer>(shared), scheduler, receivePath);
        delivered.attach(*transport);
        machinedrum = transport->endpointSnapshot().inputs[0].id;
        keyboard = transport->endpointSnapshot().inputs[1].id;
    }
    void feed(std::vector<AlsaInputEvent> events) {
        std::lock_guard lock(shared->mutex);
        shared->input.push_back(std::move(events));
        shared->changed.notify_all();
    }
    // Waits until the input thread has handled everything fed, then runs the receive queue.
    void settle() {
        std::unique_lock lock(shared->mutex);
        ASSERT_TRUE(shared->changed.wait_for(lock, 10s, [&] { return shared->input.empty() && shared->readerWaiting; }));
        lock.unlock();
        scheduler->runUntilIdle();
    }
    std::vector<std::string> calls() {
        std::lock_guard lock(shared->mutex);
        return shared->calls;
    }
    // The system's port list changes and the announce port says so.
    void changePorts(const std::function<void(std::vector<AlsaPortDescription>&)>& change) {
        {
            std::lock_guard lock(shared->mutex);
            change(shared->ports);
        }
        feed({{Kind::endpointsChanged, {0, 1}, 0, 0, 0, {}}});
        settle();
    }

    std::shared_ptr<FakeSequencer::Shared> shared = std::make_shared<FakeSequencer::Shared>();
    std::shared_ptr<ManualScheduler> scheduler = std::make_shared<ManualScheduler>();
    testing::Delivered delivered;
    std::unique_ptr<AlsaMIDITransport> transport;
    int32_t machinedrum = 0;
    int32_t keyboard = 0;
};

TEST(AlsaMIDITransport, SelectionSubscribesOnceAndSwitchesCleanly) {
    AlsaRig rig;
    rig.transport->selectInput(rig.machinedrum);
    rig.transport->selectInput(rig.machinedrum);
    rig.transport->selectInput(rig.keyboard);
    rig.transport->selectOutput(rig.machinedrum);
    rig.transport->selectOutput(std::nullopt);
    EXPECT_THROW(rig.transport->selectOutput(rig.keyboard), MIDITransportError);  // input-only port
    EXPECT_EQ(rig.calls(), (std::vector<std::string>{"connectInput 20:0", "disconnectInput 20:0", "connectInput 24:0",
                                                     "connectOutput 20:0", "disconnectOutput 20:0"}));
}

// Only the selected source's events reach the receive path, and a device that comes back under
// another client number is followed without a new selection.
TEST(AlsaMIDITransport, ReceivesTheSelectedSourceAndFollowsAReplug) {
    AlsaRig rig;
    rig.transport->selectInput(rig.machinedrum);
    rig.feed({{Kind::sysEx, {20, 0}, 0, 0, 0, bytes({0xF0, 1, 0xF8, 2})},
              {Kind::sysEx, {24, 0}, 0, 0, 0, bytes({0xF0, 9, 0xF7})},
              {Kind::noteOn, {24, 0}, 0, 60, 1, {}}});
    rig.feed({{Kind::sysEx, {20, 0}, 0, 0, 0, bytes({3, 0xF7})}});
    rig.settle();
    rig.changePorts([](auto& ports) { ports[0].address = {22, 0}; });
    rig.feed({{Kind::sysEx, {22, 0}, 0, 0, 0, bytes({0xF0, 4, 0xF7})}});
    rig.settle();
    EXPECT_EQ(rig.delivered.messages, (std::vector<Bytes>{bytes({0xF0, 1, 2, 3, 0xF7}), bytes({0xF0, 4, 0xF7})}));
    EXPECT_TRUE(rig.delivered.issues.empty());
    EXPECT_EQ(rig.calls(), (std::vector<std::string>{"connectInput 20:0", "disconnectInput 20:0", "connectInput 22:0"}));
    EXPECT_TRUE(rig.delivered.snapshots.empty()) << "names and ids did not change";

    // A new device is announced with the new list.
    rig.changePorts([](auto& ports) { ports.push_back({{32, 0}, "TM-1", "TM-1 MIDI 1", true, true, false}); });
    ASSERT_EQ(rig.delivered.snapshots.size(), 1u);
    EXPECT_EQ(rig.delivered.snapshots[0].inputs.size(), 3u);
}

TEST(AlsaMIDITransport, KernelInputOverrunDiscardsTheMessageInProgress) {
    AlsaRig rig;
    rig.transport->selectInput(rig.machinedrum);
    rig.feed({{Kind::sysEx, {20, 0}, 0, 0, 0, bytes({0xF0, 1, 2})}, {Kind::inputOverrun, {}, 0, 0, 0, {}}});
    rig.feed({{Kind::sysEx, {20, 0}, 0, 0, 0, bytes({5, 0xF7, 0xF0, 6, 0xF7})}});
    rig.settle();
    EXPECT_EQ(rig.delivered.messages, std::vector<Bytes>{bytes({0xF0, 6, 0xF7})});
    ASSERT_EQ(rig.delivered.issues.size(), 1u);
    EXPECT_NE(rig.delivered.issues[0].as<MIDITransportIssue::ReceiveTruncated>(), nullptr);
}

TEST(AlsaMIDITransport, SendsPacedPiecesThatRebuildTheMessage) {
    AlsaRig rig;
    EXPECT_THROW(rig.transport->send(bytes({0xF0, 0xF7})), MIDITransportError);
    rig.transport->selectOutput(rig.machinedrum);
    rig.transport->configureMaximumSysExSpeed(1000000);
    const Bytes message = sysEx(2000);
    std::vector<std::size_t> progress;
    rig.transport->send(message, [&](std::size_t sent, std::size_t total) {
        EXPECT_EQ(total, message.size());
        progress.push_back(sent);
    });
    Bytes rebuilt;
    for (const auto& piece : rig.shared->pieces) {
        EXPECT_LE(piece.size(), MIDISendPacer::largestChunk);
        rebuilt.insert(rebuilt.end(), piece.begin(), piece.end());
    }
    EXPECT_EQ(rebuilt, message);
    EXPECT_EQ(progress.size(), rig.shared->pieces.size());
    EXPECT_EQ(progress.back(), message.size());
    EXPECT_THROW(rig.transport->send(bytes({0xF0, 0x80, 0xF7})), MIDITransportError);
}

TEST(AlsaMIDITransport, CancelWakesAPacedSend) {
    AlsaRig rig;
    rig.transport->selectOutput(rig.machinedrum);
    const Bytes message = sysEx(3125 * 20);  // 20 s at the default speed
    std::promise<void> started;
    auto send = std::async(std::launch::async, [&] {
        bool first = true;
        rig.transport->send(message, [&](std::size_t, std::size_t) {
            if (std::exchange(first, false)) started.set_value();
        });
    });
    started.get_future().wait();
    const auto before = std::chrono::steady_clock::now();
    rig.transport->cancelPendingSends();
    EXPECT_THROW(send.get(), MIDITransportError);
    EXPECT_LT(std::chrono::steady_clock::now() - before, 5s);
    EXPECT_LT(rig.shared->pieces.size(), 10u);
}

// Without a sequencer device the transport fails cleanly, naming ALSA and the refused call.
TEST(AlsaMIDITransport, ConstructionWithoutASequencerThrowsASystemError) {
    if (std::filesystem::exists("/dev/snd/seq")) GTEST_SKIP() << "this machine has an ALSA sequencer";
    const auto error = testing::thrown<MIDITransportError>([] { AlsaMIDITransport transport; });
    ASSERT_TRUE(error) << "construction succeeded without /dev/snd/seq";
    const auto* system = error->as<MIDITransportError::System>();
    ASSERT_NE(system, nullptr) << error->describe();
    EXPECT_EQ(system->operation, "snd_seq_open");
}

}  // namespace
}  // namespace k7
