#include <gtest/gtest.h>

#include "Support/Model/AppModelRig.h"
#include "Support/SimulatedTM1.h"

namespace k7::testing {
namespace {

using namespace std::chrono_literals;

TEST(AppModelSmoke, StartsAndDetectsATM1AlreadyAtSpeed) {
    AppModelRig::Options options;
    options.peers.push_back(std::make_shared<SimulatedTM1>(SimulatedTM1::Options{TurboSpeed::x8}));
    AppModelRig rig(options);
    EXPECT_EQ(rig->turboStatus(), "Checking\u2026");
    rig.runFor(1s);
    EXPECT_EQ(rig->turboStatus(), "8x");
    EXPECT_EQ(rig->statusText(), "Turbo active at 8x");
    EXPECT_EQ(rig.wire().maximumSysExSpeed(), 25000);
    rig.stop();
    EXPECT_EQ(rig.wire().maximumSysExSpeed(), 3125);
}

}  // namespace
}  // namespace k7::testing
