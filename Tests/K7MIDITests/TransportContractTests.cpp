#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <future>
#include <thread>

#include "K7MIDI/Alsa/AlsaMIDITransport.h"
#include "MIDITestSupport.h"

namespace k7 {
namespace {

using namespace std::chrono_literals;
using testing::bytes;

// One transport wired so that what it sends comes back to its input.
class LoopbackHarness {
public:
    virtual ~LoopbackHarness() = default;
    virtual MIDITransporting& transport() = 0;
    virtual int32_t input() const = 0;
    virtual int32_t output() const = 0;
    // Runs the transport's queues until `done` holds; false when it never does.
    virtual bool runUntil(const std::function<bool()>& done) = 0;
    // Makes the next send block until cancelled; returns once a send is blocked.
    virtual std::future<void> startBlockedSend() = 0;
    virtual void unblockSends() = 0;
};

class MockHarness final : public LoopbackHarness {
public:
    MockHarness() {
        MockMIDITransportOptions options;
        options.scheduler = scheduler_;
        mock_ = std::make_unique<MockMIDITransport>(testing::twoPortSnapshot(), options);
        mock_->setPeer([](const MockMIDITransport::SentMessage& sent) {
            return std::vector<MockMIDITransport::PeerReply>{{sent.bytes, 1ms}};
        });
    }
    MIDITransporting& transport() override { return *mock_; }
    int32_t input() const override { return 11; }
    int32_t output() const override { return 21; }
    bool runUntil(const std::function<bool()>& done) override {
        while (!done()) {
            if (!scheduler_->advanceToNextDeadline()) return done();
        }
        return true;
    }
    std::future<void> startBlockedSend() override {
        mock_->setBlockingSends(true);
        auto send = std::async(std::launch::async, [this] { mock_->send(bytes({0xF0, 0x7D, 0xF7})); });
        EXPECT_TRUE(mock_->waitForBlockedSends(1, 10s));
        return send;
    }
    void unblockSends() override { mock_->setBlockingSends(false); }

private:
    std::shared_ptr<ManualScheduler> scheduler_ = std::make_shared<ManualScheduler>();
    std::unique_ptr<MockMIDITransport> mock_;
};

// The system's sequencer looped through its "Midi Through" port.
class AlsaHarness final : public LoopbackHarness {
public:
    static std::unique_ptr<LoopbackHarness> make(std::string& whyNot) {
        if (!std::filesystem::exists("/dev/snd/seq")) {
            whyNot = "no ALSA sequencer on this machine (/dev/snd/seq is absent)";
            return nullptr;
        }
        auto harness = std::unique_ptr<AlsaHarness>(new AlsaHarness());
        for (const auto& endpoint : harness->alsa_.endpointSnapshot().inputs) {
            if (endpoint.name.find("Midi Through") != std::string::npos) harness->through_ = endpoint.id;
        }
        if (!harness->through_) {
            whyNot = "the ALSA sequencer has no Midi Through port to loop back through";
            return nullptr;
        }
        return harness;
    }
    MIDITransporting& transport() override { return alsa_; }
    int32_t input() const override { return *through_; }
    int32_t output() const override { return *through_; }
    bool runUntil(const std::function<bool()>& done) override {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::yield();
        }
        return true;
    }
    std::future<void> startBlockedSend() override {
        alsa_.configureMaximumSysExSpeed(100);
        auto started = std::make_shared<std::promise<void>>();
        auto send = std::async(std::launch::async, [this, started] {
            Bytes message(1000, 0);
            message.front() = 0xF0;
            message.back() = 0xF7;
            bool first = true;
            alsa_.send(message, [&](std::size_t, std::size_t) {
                if (std::exchange(first, false)) started->set_value();
            });
        });
        started->get_future().wait();
        return send;
    }
    void unblockSends() override { alsa_.configureMaximumSysExSpeed(std::nullopt); }

private:
    AlsaHarness() = default;
    AlsaMIDITransport alsa_;
    std::optional<int32_t> through_;
};

struct ContractParam {
    const char* name;
    std::unique_ptr<LoopbackHarness> (*make)(std::string& whyNot);
};
void PrintTo(const ContractParam& param, std::ostream* out) { *out << param.name; }

class TransportContract : public ::testing::TestWithParam<ContractParam> {
protected:
    void SetUp() override {
        std::string whyNot;
        harness = GetParam().make(whyNot);
        if (!harness) GTEST_SKIP() << whyNot;
        delivered.attach(harness->transport());
    }
    void selectLoop() {
        harness->transport().selectInput(harness->input());
        harness->transport().selectOutput(harness->output());
    }
    std::size_t messageCount() {
        std::lock_guard lock(delivered.mutex);
        return delivered.messages.size();
    }

    std::unique_ptr<LoopbackHarness> harness;
    testing::Delivered delivered;
};

TEST_P(TransportContract, RefusesWhatCannotBeSent) {
    auto& transport = harness->transport();
    const auto caseOf = testing::outcome;  // the error's description
    EXPECT_EQ(caseOf([&] { transport.send(bytes({0xF0, 0xF7})); }), "noOutputSelected");
    EXPECT_EQ(caseOf([&] { transport.configureMaximumSysExSpeed(6250); }), "noOutputSelected");
    EXPECT_EQ(caseOf([&] { transport.selectInput(-5); }), "endpointUnavailable");
    EXPECT_EQ(caseOf([&] { transport.selectOutput(-5); }), "endpointUnavailable");
    selectLoop();
    for (const Bytes& invalid : {bytes({}), bytes({0xF0, 1}), bytes({1, 0xF7}), bytes({0xF0, 0x90, 0xF7}),
                                 bytes({0xF0, 1, 0xF7, 0xF0, 2, 0xF7})}) {
        EXPECT_EQ(caseOf([&] { transport.send(invalid); }),
                  "invalidSysEx(byteCount: " + std::to_string(invalid.size()) + ")");
    }
}

// Callbacks come from the transport's own queues, never from inside a caller's call; concurrent
// senders are serialised whole, and each keeps its own order.
TEST_P(TransportContract, LoopsMessagesBackAsynchronouslyWholeAndInEachSendersOrder) {
    std::atomic<int> sendersInside{0}, reentered{0};
    harness->transport().onReceiveBytes = [&](const Bytes& message) {
        if (sendersInside > 0) ++reentered;
        std::lock_guard lock(delivered.mutex);
        delivered.messages.push_back(message);
    };
    selectLoop();
    constexpr int perSender = 25;
    auto sender = [&](int tag) {
        ++sendersInside;
        for (int i = 0; i < perSender; ++i) harness->transport().send(bytes({0xF0, 0x7D, tag, i, 0xF7}));
        --sendersInside;
    };
    std::thread a(sender, 1), b(sender, 2);
    a.join();
    b.join();
    ASSERT_TRUE(harness->runUntil([&] { return messageCount() >= 2 * perSender; }));
    EXPECT_EQ(reentered, 0);
    std::lock_guard lock(delivered.mutex);
    std::map<int, int> next;
    for (const auto& message : delivered.messages) {
        ASSERT_EQ(message.size(), 5u);
        EXPECT_EQ(message[3], next[message[2]]++) << "sender " << int(message[2]);
    }
    EXPECT_EQ(next[1], perSender);
    EXPECT_EQ(next[2], perSender);
}

TEST_P(TransportContract, CancelWakesABlockedSendAndLaterSendsWork) {
    selectLoop();
    auto blocked = harness->startBlockedSend();
    harness->transport().cancelPendingSends();
    EXPECT_EQ(testing::outcome([&] { blocked.get(); }), "cancelled");
    harness->unblockSends();
    harness->transport().send(bytes({0xF0, 0x7D, 0x55, 0xF7}));
    ASSERT_TRUE(harness->runUntil([&] {
        std::lock_guard lock(delivered.mutex);
        return !delivered.messages.empty() && delivered.messages.back() == bytes({0xF0, 0x7D, 0x55, 0xF7});
    }));
}

TEST_P(TransportContract, DrainOfAQuietInputReachesQuiescence) {
    selectLoop();
    std::mutex mutex;
    std::optional<MIDIReceiveDrainResult> result;
    harness->transport().drainPendingReceives(50ms, 2s, [&](MIDIReceiveDrainResult r) {
        std::lock_guard lock(mutex);
        result = r;
    });
    ASSERT_TRUE(harness->runUntil([&] {
        std::lock_guard lock(mutex);
        return result.has_value();
    }));
    EXPECT_EQ(*result, (MIDIReceiveDrainResult{true, 0}));
}

std::unique_ptr<LoopbackHarness> makeMock(std::string&) { return std::make_unique<MockHarness>(); }

INSTANTIATE_TEST_SUITE_P(Transports, TransportContract,
                         ::testing::Values(ContractParam{"Mock", &makeMock}, ContractParam{"Alsa", &AlsaHarness::make}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace k7
