#include "K7Core/ElektronSevenBit.h"

#include <gtest/gtest.h>

#include "TestBytes.h"

namespace k7 {
namespace {

using test::bytes;

TEST(ElektronSevenBit, HighBitsGoIntoTheLeadingByteFirstByteHighest) {
    EXPECT_EQ(ElektronSevenBit::encode(bytes({0x80, 0x01, 0x02, 0x03, 0x04, 0x05, 0xFF})),
              bytes({0x41, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x7F}));
    // A short final group uses the top bits of its leading byte.
    EXPECT_EQ(ElektronSevenBit::encode(bytes({0x81, 0x82})), bytes({0x60, 0x01, 0x02}));
}

TEST(ElektronSevenBit, RoundTripsEveryLengthAndValue) {
    for (std::size_t length = 0; length <= 30; ++length) {
        Bytes raw(length);
        for (std::size_t i = 0; i < length; ++i) raw[i] = static_cast<uint8_t>(i * 37 + length * 101);
        const Bytes encoded = ElektronSevenBit::encode(raw);
        EXPECT_EQ(encoded.size(), ElektronSevenBit::encodedSize(length));
        EXPECT_TRUE(isSevenBitClean(encoded));
        EXPECT_EQ(ElektronSevenBit::decodedSize(encoded.size()), length);
        EXPECT_EQ(ElektronSevenBit::decode(encoded), raw) << length;
    }
    Bytes all(256);
    for (std::size_t i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
    EXPECT_EQ(ElektronSevenBit::decode(ElektronSevenBit::encode(all)), all);
}

TEST(ElektronSevenBit, DecodeRefusesImpossibleInput) {
    EXPECT_FALSE(ElektronSevenBit::decode(bytes({0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x00})));
    EXPECT_FALSE(ElektronSevenBit::decode(bytes({0x00, 0x80})));
    EXPECT_FALSE(ElektronSevenBit::decode(bytes({0x80, 0x01})));
    EXPECT_EQ(ElektronSevenBit::encodedSize(6132), 7008u);
}

}  // namespace
}  // namespace k7
