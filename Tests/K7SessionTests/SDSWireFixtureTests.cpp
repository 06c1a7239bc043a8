#include <gtest/gtest.h>

#include "K7Core/SDS/SDSDataPacket.h"
#include "K7Core/SDS/SDSSamplePacking.h"
#include "SessionTestSupport.h"

namespace k7::testing {
namespace {

// The hand-written SDS bytes and the project's codec must agree, or the simulated samplers would
// test the codec against a mistake of their own.
TEST(SDSWireFixture, AgreesWithThePublishedExampleAndTheCodec) {
    // 44.1 kHz gives the period 22675 ns = 13 31 01; 88200 words = 08 31 05.
    const Bytes header = sds_wire::classicHeader(0, 5, 16, period44100, 88200);
    EXPECT_EQ(header, (Bytes{0xF0, 0x7E, 0x00, 0x01, 0x05, 0x00, 0x10, 0x13, 0x31, 0x01, 0x08, 0x31, 0x05, 0x00,
                             0x00, 0x00, 0x00, 0x00, 0x00, 0x7F, 0xF7}));
    EXPECT_EQ(header, SDSDumpHeader(0, 5, 16, 44100.0, 88200, 0, 0, 0x7F).encode());

    // Signed 16-bit -1 is offset 7FFF, left-justified in 21 bits: 3F 7F 60.
    const Bytes packet = sds_wire::packet(0, 0, std::vector<int32_t>{-1}, 16);
    EXPECT_EQ(Bytes(packet.begin() + 5, packet.begin() + 8), (Bytes{0x3F, 0x7F, 0x60}));

    for (int bits : {8, 12, 14, 16, 20, 24, 28}) {
        SCOPED_TRACE(bits);
        const auto words = sds_wire::testSignal(sds_wire::wordsPerPacket(bits), bits);
        const Bytes full = sds_wire::packet(3, 9, words, bits);
        const auto decoded = SDSDataPacket::decode(full);
        EXPECT_TRUE(decoded.hasValidChecksum());
        std::vector<int32_t> unpacked(words.size());
        SDSSamplePacking::unpack(decoded.payload, bits, unpacked);
        EXPECT_EQ(unpacked, words);
        EXPECT_EQ(sds_wire::words(full, bits, words.size()), words);
    }
}

}  // namespace
}  // namespace k7::testing
