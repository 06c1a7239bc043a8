// The program's arrangement: a real ".transfer.send" thread waiting on the monotonic clock.
#include <gtest/gtest.h>

#include <thread>

#include "SendRigSupport.h"
#include "SendTestItems.h"

namespace k7::testing {
namespace {

using Clock = std::chrono::steady_clock;

// Runs the main thread's work until the session ends or `limit` of real time has passed.
bool pumpUntilSent(AppModelRig& rig, Clock::duration limit) {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
        rig.settle();
        if (!rig->isSending()) return true;
        std::this_thread::yield();
    }
    return false;
}

TEST(SendOnRealQueues, StopWakesThePacingWaitAtOnce) {
    auto options = sendRigOptions();
    options.realWorkQueues = true;
    AppModelRig rig(options);
    // 3125 bytes: one second of pacing at 1x.
    Bytes message(3125, 0x10);
    message.front() = 0xF0;
    message.back() = 0xF7;
    const auto item = test::sysExItem(1, "long.syx", {message, message});
    pressSend(rig, {item});
    const auto pressed = Clock::now();
    while (rig.wire().sentMessages().empty() && Clock::now() - pressed < std::chrono::seconds(5)) {
        std::this_thread::yield();
    }
    ASSERT_EQ(rig.wire().sentMessages().size(), 1u);
    rig->stopSending();
    const auto stopped = Clock::now();
    ASSERT_TRUE(pumpUntilSent(rig, std::chrono::seconds(5)));
    EXPECT_LT(Clock::now() - stopped, std::chrono::milliseconds(500)) << "the worker woke before its deadline";
    EXPECT_EQ(rig->statusText(), "Cancelled");
    EXPECT_EQ(liveItem(rig, item.id).state, TransferItem::State::Cancelled{});
    EXPECT_EQ(rig.wire().sentMessages().size(), 1u);
}

TEST(SendOnRealQueues, RawAndSDSItemsComplete) {
    auto options = sendRigOptions([](AppPreferences& preferences) { preferences.delayTicks = 0; });
    options.realWorkQueues = true;
    AppModelRig rig(options);
    const Bytes raw{0xF0, 0x7D, 0x01, 0x02, 0xF7};
    const auto items = std::vector<TransferItem>{test::sysExItem(1, "a.syx", {raw, raw}),
                                                 test::wavItem(2, "Kick.wav", test::stereoSignal(100, 3))};
    pressSend(rig, items);
    ASSERT_TRUE(pumpUntilSent(rig, std::chrono::seconds(10)));
    EXPECT_EQ(rig->statusText(), "Submitted 2 transfers to MIDI transport; hardware receipt is unverified");
    EXPECT_EQ(rig.wire().sentMessages().size(), 2u + 1 + 3);  // two raw, header and three packets
}

}  // namespace
}  // namespace k7::testing
