#include "K7Core/TurboFrame.h"

#include <gtest/gtest.h>

#include "TestBytes.h"

namespace k7 {
namespace {

using test::bytes;
using E = TurboFrameError;

TEST(TurboSpeed, FactsPerCode) {
    const double multipliers[] = {1, 1, 2, 3.3, 4, 5, 6.7, 8, 10, 13.3, 16, 20};
    const int rates[] = {3125, 3125, 6250, 10312, 12500, 15625, 20625, 25000, 31250, 41562, 50000, 62500};
    for (uint8_t c = 0; c <= turboSpeedMaximumCode; ++c) {
        const auto speed = turboSpeedFromCode(c);
        ASSERT_TRUE(speed);
        EXPECT_EQ(multiplier(*speed), multipliers[c]);
        EXPECT_EQ(nominalBytesPerSecond(*speed), rates[c]);
    }
    EXPECT_FALSE(turboSpeedFromCode(12));
    EXPECT_LT(TurboSpeed::x16, TurboSpeed::x20);
}

TEST(TurboFrame, EncodesTheThreeFrames) {
    EXPECT_EQ(TurboFrame::query(), bytes({0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x01, 0xF7}));
    EXPECT_EQ(TurboFrame::limit(TurboSpeed::x8), bytes({0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x03, 0x07, 0xF7}));
    EXPECT_EQ(TurboFrame::response(TurboSpeed::x20), bytes({0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x02, 0x0B, 0xF7}));
}

TEST(TurboFrame, EveryFrameDecodesToWhatWasEncoded) {
    EXPECT_EQ(TurboFrame::decode(TurboFrame::query()), TurboMessage(turbo_message::Query{}));
    for (uint8_t c = 0; c <= turboSpeedMaximumCode; ++c) {
        const auto speed = *turboSpeedFromCode(c);
        for (const TurboMessage& m : {TurboMessage(turbo_message::Response{speed}), TurboMessage(turbo_message::Limit{speed})}) {
            EXPECT_EQ(TurboFrame::decode(TurboFrame::encode(m)), m) << describe(m);
        }
    }
}

struct DecodeFailure {
    const char* name;
    Bytes frame;
    E expected;
};

class TurboFrameFailures : public ::testing::TestWithParam<DecodeFailure> {};

TEST_P(TurboFrameFailures, Throws) {
    try {
        TurboFrame::decode(GetParam().frame);
        FAIL() << GetParam().name;
    } catch (const E& error) {
        EXPECT_EQ(error, GetParam().expected) << GetParam().name << ": " << error.describe();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TurboFrameFailures,
    ::testing::Values(
        DecodeFailure{"empty", {}, E(E::InvalidEnvelope{})},
        DecodeFailure{"no end byte", bytes({0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x01}), E(E::InvalidEnvelope{})},
        DecodeFailure{"high bit", bytes({0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x81, 0xF7}), E(E::InvalidEnvelope{})},
        DecodeFailure{"machinedrum message", bytes({0xF0, 0x00, 0x20, 0x3C, 0x02, 0x00, 0x01, 0xF7}), E(E::WrongFamily{})},
        DecodeFailure{"generic elektron header", bytes({0xF0, 0x00, 0x20, 0x3C, 0x00, 0x00, 0x10, 0xF7}),
                      E(E::WrongFamily{})},
        DecodeFailure{"cut inside the prefix", bytes({0xF0, 0x00, 0x20, 0x3C, 0x04, 0xF7}), E(E::InvalidLength{8, 6})},
        DecodeFailure{"prefix only", bytes({0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0xF7}), E(E::InvalidLength{8, 7})},
        DecodeFailure{"unknown command", bytes({0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x04, 0x01, 0xF7}),
                      E(E::UnsupportedCommand{0x04})},
        DecodeFailure{"query with payload", bytes({0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x01, 0x00, 0xF7}),
                      E(E::InvalidLength{8, 9})},
        DecodeFailure{"response without speed", bytes({0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x02, 0xF7}),
                      E(E::InvalidLength{9, 8})},
        DecodeFailure{"limit with extra byte", bytes({0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x03, 0x01, 0x01, 0xF7}),
                      E(E::InvalidLength{9, 10})},
        DecodeFailure{"speed code 12", bytes({0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x02, 0x0C, 0xF7}),
                      E(E::UnknownSpeedCode{12})}));

TEST(TurboFrameError, TextsAndDescriptions) {
    EXPECT_EQ(E(E::InvalidLength{9, 8}).describe(), "invalidLength(expected: 9, actual: 8)");
    EXPECT_EQ(E(E::UnsupportedCommand{4}).describe(), "unsupportedCommand(4)");
    EXPECT_EQ(E(E::WrongFamily{}).describe(), "wrongFamily");
    EXPECT_STREQ(E(E::UnknownSpeedCode{12}).what(), "The Turbo MIDI message names the unknown speed code 12.");
}

}  // namespace
}  // namespace k7
