// Stopping a receive while a clock master or a device with active sensing shares the input: the
// stop waits for SysEx still arriving, not for traffic that never pauses.
#include <gtest/gtest.h>

#include "K7Core/SysEx/SysExFileCodec.h"
#include "Support/Model/ReceiveRig.h"

namespace k7::testing {
namespace {

using namespace std::chrono_literals;
using Arrivals = std::vector<std::pair<std::chrono::milliseconds, Bytes>>;

TEST(ReceiveStop, EndsAsSoonAsNoSysExIsInFlightWhateverRunsBeside) {
    const Bytes first{0xF0, 0x7D, 0x01, 0xF7};
    const std::string cutOff =
        "The final SysEx message stopped after 4 bytes without an F7 terminator and was discarded. Re-receive the "
        "final item.";
    const std::string notQuiet =
        "MIDI input did not become quiet before the receive-finalization timeout; complete messages were retained, "
        "but the final message may be incomplete.";
    const std::string kept = "SysEx received; bytes were kept unchanged.";
    const std::string keptAfterIssue = "SysEx received; bytes were kept unchanged after an SDS receive issue. ";
    struct Case {
        const char* name;
        Bytes beforeStop;
        Arrivals afterStop;
        std::chrono::milliseconds stopTakes;
        std::string status;
        std::string detail;
        std::vector<Bytes> messages;
    };
    Arrivals slow;
    for (int i = 1; i <= 7; ++i) slow.emplace_back(i * 400ms, Bytes{0x03});
    const std::vector<Case> cases{
        {"one message", first, {}, 500ms, "SysEx received.", kept, {first}},
        {"a message that trickles in",
         {0xF0, 0x7D, 0x01, 0xF7, 0xF0, 0x7D, 0x02, 0x03},
         {{200ms, {0x04, 0x05}}, {400ms, {0x06, 0xF7}}},
         900ms,
         "SysEx received.",
         kept,
         {first, {0xF0, 0x7D, 0x02, 0x03, 0x04, 0x05, 0x06, 0xF7}}},
        {"a message cut off",
         {0xF0, 0x7D, 0x01, 0xF7, 0xF0, 0x7D, 0x02, 0x03},
         {},
         500ms,
         "Receive error: " + cutOff + "; raw SysEx retained",
         keptAfterIssue + cutOff,
         {first}},
        {"a message still arriving at the timeout",
         {0xF0, 0x7D, 0x01, 0xF7, 0xF0, 0x7D, 0x02},
         slow,
         3000ms,
         "Receive error: The final SysEx message stopped after 10 bytes without an F7 terminator and was "
         "discarded. Re-receive the final item.; raw SysEx retained",
         keptAfterIssue + notQuiet +
             "; The final SysEx message stopped after 10 bytes without an F7 terminator and was discarded. "
             "Re-receive the final item.",
         {first}},
    };
    struct Beside {
        const char* name;
        std::chrono::milliseconds period;
        uint8_t byte;
    };
    for (const auto& beside : {Beside{"nothing", 0ms, 0}, Beside{"a clock", 21ms, 0xF8},
                               Beside{"active sensing", 300ms, 0xFE}}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " beside " + beside.name);
            AppModelRig::Options options;
            options.automaticallyDetectTurbo = false;
            AppModelRig rig(options);
            pressReceive(rig);
            if (beside.byte != 0) {
                for (auto at = 0ms; at < 10s; at += beside.period) rig.wire().injectAfter(at, Bytes{beside.byte});
            }
            rig.wire().injectAfter(100ms, c.beforeStop);
            rig.runFor(1s);

            const auto stoppedAt = rig.scheduler().now();
            rig->toggleReceiving();
            for (const auto& [at, bytes] : c.afterStop) rig.wire().injectAfter(at, bytes);
            ASSERT_TRUE(rig.runUntil([&] { return !rig->isReceiving(); }));
            EXPECT_EQ(std::chrono::duration_cast<std::chrono::milliseconds>(rig.scheduler().now() - stoppedAt),
                      c.stopTakes);
            EXPECT_EQ(rig->statusText(), c.status);
            ASSERT_EQ(rig->items().size(), 1u);
            EXPECT_EQ(rig->items()[0].detail, c.detail);
            EXPECT_EQ(SysExFileCodec::parse(rig->items()[0].data).messages, c.messages);
        }
    }
}

}  // namespace
}  // namespace k7::testing
