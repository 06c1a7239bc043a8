#include <gtest/gtest.h>

#include <vector>

#include "K7Core/SDSError.h"
#include "K7Core/SDSSamplePacking.h"

namespace k7 {
namespace {

class SDSPackingWidth : public ::testing::TestWithParam<int> {};

// Every value that matters at this width: the extremes, zero, their neighbours and a spread.
std::vector<int32_t> interestingWords(int bits) {
    const int32_t low = SDSSamplePacking::minimumWord(bits);
    const int32_t high = SDSSamplePacking::maximumWord(bits);
    std::vector<int32_t> words{low, low + 1, -1, 0, 1, high - 1, high};
    for (int64_t v = low; v <= high; v += (int64_t{high} - low) / 97 + 1) words.push_back(static_cast<int32_t>(v));
    return words;
}

TEST_P(SDSPackingWidth, RoundTripsEveryValueAndZeroesTheUnusedLowBits) {
    const int bits = GetParam();
    const std::size_t width = SDSSamplePacking::bytesPerWord(bits);
    const auto words = interestingWords(bits);
    Bytes packed(words.size() * width, 0xFF);
    SDSSamplePacking::pack(words, bits, packed);
    const unsigned unusedBits = static_cast<unsigned>(7 * width - bits);
    for (std::size_t i = 0; i < words.size(); ++i) {
        const uint8_t last = packed[i * width + width - 1];
        EXPECT_EQ(last & ((1u << unusedBits) - 1), 0u) << "word " << i;
        for (std::size_t b = 0; b < width; ++b) EXPECT_LT(packed[i * width + b], 0x80);
    }
    std::vector<int32_t> unpacked(words.size());
    SDSSamplePacking::unpack(packed, bits, unpacked);
    EXPECT_EQ(unpacked, words);

    // Offset binary: the lowest word is all zeros, the highest all ones in the used bits.
    Bytes extremes(2 * width);
    SDSSamplePacking::pack(std::vector<int32_t>{SDSSamplePacking::minimumWord(bits), SDSSamplePacking::maximumWord(bits)},
                           bits, extremes);
    for (std::size_t b = 0; b < width; ++b) EXPECT_EQ(extremes[b], 0);
    EXPECT_EQ(extremes[width], 0x7F);
    EXPECT_EQ(extremes[2 * width - 1], static_cast<uint8_t>(0x7F & ~((1u << unusedBits) - 1)));
}

INSTANTIATE_TEST_SUITE_P(AllWidths, SDSPackingWidth, ::testing::Range(8, 29));

TEST(SDSSamplePacking, MatchesTheStandardsWorkedExamples) {
    // 16 bits: -1 is offset 7FFF, shifted left 5 into 21 bits.
    Bytes sixteen(3);
    SDSSamplePacking::pack(std::vector<int32_t>{-1}, 16, sixteen);
    EXPECT_EQ(sixteen, (Bytes{0x3F, 0x7F, 0x60}));
    // 12 bits: the full-positive offset value FFF goes out as 7F 7C.
    Bytes twelve(2);
    SDSSamplePacking::pack(std::vector<int32_t>{2047}, 12, twelve);
    EXPECT_EQ(twelve, (Bytes{0x7F, 0x7C}));
}

TEST(SDSSamplePacking, PacketGeometryFollowsTheWordWidth) {
    const std::vector<std::tuple<int, std::size_t, std::size_t>> table{
        {8, 2, 60}, {14, 2, 60}, {15, 3, 40}, {21, 3, 40}, {22, 4, 30}, {28, 4, 30}};
    for (const auto& [bits, width, perPacket] : table) {
        EXPECT_EQ(SDSSamplePacking::bytesPerWord(bits), width) << bits;
        EXPECT_EQ(SDSSamplePacking::wordsPerPacket(bits), perPacket) << bits;
    }
    EXPECT_EQ(SDSSamplePacking::packetCount(0, 16), 0);
    EXPECT_EQ(SDSSamplePacking::packetCount(40, 16), 1);
    EXPECT_EQ(SDSSamplePacking::packetCount(41, 16), 2);
    EXPECT_EQ(SDSSamplePacking::packetCount(100, 16), 3);
    EXPECT_THROW(SDSSamplePacking::bytesPerWord(7), SDSError);
    EXPECT_THROW(SDSSamplePacking::bytesPerWord(29), SDSError);
}

TEST(SDSSamplePacking, RefusesBuffersTooShortInsteadOfOverrunningThem) {
    const std::vector<int32_t> words(10, 0);
    Bytes small(29);
    EXPECT_THROW(SDSSamplePacking::pack(words, 16, small), SDSError);
    std::vector<int32_t> out(10);
    EXPECT_THROW(SDSSamplePacking::unpack(small, 16, out), SDSError);
}

}  // namespace
}  // namespace k7
