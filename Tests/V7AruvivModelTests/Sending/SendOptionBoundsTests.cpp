#include <gtest/gtest.h>

#include <limits>

#include "SendRigSupport.h"
#include "SendTestItems.h"

namespace k7::testing {
namespace {

using namespace std::chrono_literals;

// The preferences may hold any delay and any device number up to 255; a send uses the delay
// within 0...120 ticks of 1/60 s and the device number at most 127.

// The time from the first raw message's send to the second's.
Scheduler::Duration gapBetweenMessages(int64_t delayTicks) {
    AppModelRig rig(sendRigOptions([&](AppPreferences& preferences) { preferences.delayTicks = delayTicks; }));
    pressSend(rig, {test::sysExItem(1, "two.syx", {{0xF0, 0x01, 0x02, 0xF7}, {0xF0, 0x03, 0xF7}})});
    EXPECT_TRUE(runUntilSent(rig));
    const auto sent = rig.wire().sentMessages();
    if (sent.size() != 2) {
        ADD_FAILURE() << sent.size() << " messages sent";
        return {};
    }
    return sent[1].time - sent[0].time;
}

TEST(SendOptionBounds, TheRawSysExDelayStaysWithinZeroToOneHundredTwentyTicks) {
    // A stored delay of 0 reads as one tick until the user has chosen it, so the wire time is
    // what one tick's gap leaves.
    const auto withoutDelay = gapBetweenMessages(1) - 16'666'666ns;
    const struct {
        int64_t delayTicks;
        Scheduler::Duration added;
    } cases[] = {
        {-5, 0ns},
        {std::numeric_limits<int64_t>::min(), 0ns},
        {1, 16'666'666ns},
        {120, 2s},
        {121, 2s},
        {std::numeric_limits<int64_t>::max(), 2s},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.delayTicks);
        EXPECT_EQ(gapBetweenMessages(c.delayTicks) - withoutDelay, c.added);
    }
}

TEST(SendOptionBounds, AnSDSDumpNamesADeviceNumberOfAtMost127) {
    const struct {
        uint8_t preferred, sent;
    } cases[] = {{0, 0}, {127, 127}, {128, 127}, {255, 127}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.preferred));
        AppModelRig rig(sendRigOptions([&](AppPreferences& preferences) {
            preferences.useHandshake = false;
            preferences.deviceNumber = c.preferred;
        }));
        pressSend(rig, {test::wavItem(1, "Kick.wav", test::stereoSignal(200, 1))});
        ASSERT_TRUE(runUntilSent(rig));
        std::size_t dumpMessages = 0;
        for (const auto& message : rig.wire().sentMessages()) {
            // F0 7E <device> ...: the header, the data packets and the sample name, if any.
            if (message.bytes.size() < 4 || message.bytes[1] != 0x7E) continue;
            ++dumpMessages;
            EXPECT_EQ(message.bytes[2], c.sent);
        }
        EXPECT_GT(dumpMessages, 1u);
    }
}

}  // namespace
}  // namespace k7::testing
