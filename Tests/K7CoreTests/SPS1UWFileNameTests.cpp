#include "K7Core/SPS1UWFileName.h"

#include <gtest/gtest.h>

#include "K7Core/SPS1UWFileNameError.h"
#include "K7Core/SPS1UWFileNameMessage.h"
#include "TestBytes.h"

namespace k7 {
namespace {

using test::bytes;

struct NormalizingCase {
    const char* input;
    const char* expected;
};

class SPS1UWNormalizing : public ::testing::TestWithParam<NormalizingCase> {};

TEST_P(SPS1UWNormalizing, KeepsPrintableASCIIOfTheStem) {
    EXPECT_EQ(SPS1UWFileName::normalizing(GetParam().input).text(), GetParam().expected) << GetParam().input;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SPS1UWNormalizing,
    ::testing::Values(NormalizingCase{"Kick.wav", "Kick"}, NormalizingCase{"snare drum.aiff", "snar"},
                      NormalizingCase{"/Users/me/Samples/hat.wav", "hat "}, NormalizingCase{"a.b.c", "a.b "},
                      NormalizingCase{"", "    "}, NormalizingCase{".wav", ".wav"},
                      NormalizingCase{"folder.d/", "fold"},
                      // One "_" per character, not per byte: é is two bytes, 🎹 four.
                      NormalizingCase{"\xC3\xA9t\xC3\xA9.wav", "_t_ "}, NormalizingCase{"\xF0\x9F\x8E\xB9x", "_x  "},
                      NormalizingCase{"tab\there", "tab_"}, NormalizingCase{"\xFF\xFEzz", "__zz"},
                      NormalizingCase{"~{}|", "~{}|"}));

TEST(SPS1UWFileName, FromBytesAcceptsSevenBitAndRejectsTheRest) {
    EXPECT_EQ(SPS1UWFileName(bytes({'A', 'b', ' ', 0x00})).text(), std::string("Ab \0", 4));
    EXPECT_THROW(SPS1UWFileName(bytes({'A', 'B', 'C'})), SPS1UWFileNameError);
    try {
        SPS1UWFileName(bytes({'A', 'B', 0x80, 'D'}));
        FAIL();
    } catch (const SPS1UWFileNameError& error) {
        EXPECT_EQ(error, SPS1UWFileNameError(SPS1UWFileNameError::InvalidNameByte{2, 0x80}));
        EXPECT_EQ(error.describe(), "invalidNameByte(index: 2, byte: 128)");
    }
}

TEST(SPS1UWFileNameMessage, EncodesThirteenBytesAndDecodesThemBack) {
    const SPS1UWFileNameMessage message(0x00, 0x2F, SPS1UWFileName::normalizing("BD01.wav"));
    const Bytes wire = message.encode();
    EXPECT_EQ(wire, bytes({0xF0, 0x00, 0x20, 0x3C, 0x02, 0x00, 0x73, 0x2F, 'B', 'D', '0', '1', 0xF7}));
    EXPECT_EQ(SPS1UWFileNameMessage::decode(wire), message);
}

TEST(SPS1UWFileNameMessage, DecodeRefusesAnythingElse) {
    const Bytes wire = SPS1UWFileNameMessage(1, 2, SPS1UWFileName::normalizing("abcd")).encode();
    // Framing, manufacturer, product and command bytes, and a name byte with its high bit set.
    for (std::size_t i : {0, 1, 2, 3, 4, 6, 8, 12}) {
        Bytes damaged = wire;
        damaged[i] ^= i == 8 ? 0x80 : 0x01;
        EXPECT_FALSE(SPS1UWFileNameMessage::decode(damaged)) << "byte " << i;
    }
    EXPECT_FALSE(SPS1UWFileNameMessage::decode(Bytes(wire.begin(), wire.end() - 1)));
}

TEST(SPS1UWFileNameMessage, RefusesFieldsWiderThanSevenBits) {
    const auto name = SPS1UWFileName::normalizing("x");
    EXPECT_THROW(SPS1UWFileNameMessage(0x80, 0, name), SPS1UWFileNameError);
    EXPECT_THROW(SPS1UWFileNameMessage(0, 0x80, name), SPS1UWFileNameError);
}

}  // namespace
}  // namespace k7
