// The program's arrangement for a receive: the SDS session on a serial queue of its own, a real
// thread, while the test pumps the model's main thread.
#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "Support/Model/CapturedDiagnostics.h"
#include "Support/Model/ReceiveRig.h"
#include "Support/Model/TransferItemFixtures.h"
#include "Support/SDSWireFixture.h"

namespace k7::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Runs the main thread's work until `done`, letting virtual time pass no faster than real time,
// so that no packet timeout fires while the session's thread is merely slow.
bool pumpUntil(AppModelRig& rig, const std::function<bool()>& done, Clock::duration limit = 20s) {
    const auto start = Clock::now();
    Clock::duration passed{};
    while (Clock::now() - start < limit) {
        rig.settle();
        if (done()) return true;
        if (passed < Clock::now() - start) {
            rig.runFor(1ms);
            passed += 1ms;
        }
        std::this_thread::yield();
    }
    return false;
}

TEST(ReceiveOnRealQueues, AStopMidDumpTellsTheSamplerOnce) {
    const auto dump = SimulatedSDSDump::make(0, 1, 16, 22675, sds_wire::testSignal(200));
    for (int run = 0; run < 20; ++run) {
        SCOPED_TRACE(run);
        AppModelRig::Options options;
        options.preferences.receiveFormat = AppPreferences::ReceiveFormat::rawSDS;
        options.preferences.useHandshake = true;
        options.automaticallyDetectTurbo = false;
        options.realWorkQueues = true;
        AppModelRig rig(options);
        CapturedDiagnostics capture(rig);
        SimulatedSDSSender::Options sender;
        sender.script.stopAfterPackets = 3;
        auto sampler = attachSDSSender(rig, sender, {dump});
        pressReceive(rig);
        sampler->start(rig.wire());
        // The header and three packets answered; the session waits for the fourth.
        ASSERT_TRUE(pumpUntil(rig, [&] { return sampler->acknowledgementsHeard() == 4; }));
        // The session's thread held in the answer to a repeated packet, so that the stop's cancel
        // is still queued behind it when the receive is finalized.
        rig.wire().setBlockingSends(true);
        rig.wire().inject(dump.packets[2]);
        rig.settle();
        ASSERT_TRUE(rig.wire().waitForBlockedSends(1, 20s));

        ASSERT_TRUE(stopReceiveAndFinish(rig));
        rig.wire().setBlockingSends(false);
        rig.wire().releaseBlockedSends();
        // The cancel's last report comes after its CANCEL.
        ASSERT_TRUE(pumpUntil(rig, [&] { return !capture.events("sds.receiver.failed").empty(); }));
        rig.runFor(1min);
        const auto sent = rig.wire().sentMessages();
        ASSERT_EQ(sent.size(), 6u);  // the header's and four packets' ACKs, and one CANCEL
        EXPECT_EQ(sent.back().bytes, sds_wire::control(sds_wire::cancel, 0, 3));
        EXPECT_EQ(names(rig->items()), std::vector<std::string>{"Received data 1.syx"});
    }
}

}  // namespace
}  // namespace k7::testing
