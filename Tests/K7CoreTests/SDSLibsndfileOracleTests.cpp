#include <gtest/gtest.h>
#include <sndfile.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include "K7Core/SDSDataPacket.h"
#include "K7Core/SDSFileTransferCodec.h"
#include "K7Core/SDSSamplePacking.h"
#include "K7Core/SysExFileCodec.h"
#include "SDSTestSupport.h"

// libsndfile writes and reads SDS dumps as files; these tests hold this codec against it.
//
// Known differences (libsndfile 1.2.0), each checked or avoided below:
// - libsndfile writes only 8, 16 and 24 significant bits; 14-bit data goes out as a 16-bit dump.
// - libsndfile fills the unused low bits of each packed word with the source's next bits, where
//   the standard (and this codec) send zeros; data quantised to the declared width packs the same.
// - libsndfile mishandles a last packet that is not full, in both directions: it writes silence
//   or stale bytes into it and reads wrong values from it. Only full packets are compared; the
//   partial ones are checked by this codec's own round trips.
// - libsndfile misreads dumps of exactly 14 significant bits (12 and 16 read right); two-byte
//   words are checked by reading 8- and 12-bit dumps instead.
// - libsndfile always writes device 0, sample 0, loop type 00 with both loop points 0 and no
//   end-of-file message; the headers below are built the same way.

namespace k7 {
namespace {

using namespace sds_test;

// Full-scale 32-bit values carry the words in their top bits.
std::vector<int> fullScale(const std::vector<int32_t>& words, int bits) {
    std::vector<int> values;
    for (int32_t w : words) values.push_back(static_cast<int>(static_cast<uint32_t>(w) << (32 - bits)));
    return values;
}

// libsndfile works on a temporary file; its bytes are read back whole.
Bytes libsndfileWrites(const std::vector<int32_t>& words, int bits) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::tmpfile(), &std::fclose);
    const int subformat = bits == 8 ? SF_FORMAT_PCM_S8 : bits == 16 ? SF_FORMAT_PCM_16 : SF_FORMAT_PCM_24;
    SF_INFO info{0, 44100, 1, SF_FORMAT_SDS | subformat, 0, 0};
    SNDFILE* handle = sf_open_fd(fileno(file.get()), SFM_WRITE, &info, SF_FALSE);
    if (!handle) throw std::runtime_error(sf_strerror(nullptr));
    const auto values = fullScale(words, bits);
    sf_write_int(handle, values.data(), static_cast<sf_count_t>(values.size()));
    sf_close(handle);
    Bytes bytes(static_cast<std::size_t>(lseek(fileno(file.get()), 0, SEEK_END)));
    EXPECT_EQ(pread(fileno(file.get()), bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
    return bytes;
}

struct ReadBack {
    SF_INFO info{};
    std::vector<int> values;
};

ReadBack libsndfileReads(const Bytes& bytes) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::tmpfile(), &std::fclose);
    EXPECT_EQ(pwrite(fileno(file.get()), bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
    ReadBack result;
    SNDFILE* handle = sf_open_fd(fileno(file.get()), SFM_READ, &result.info, SF_FALSE);
    if (!handle) throw std::runtime_error(sf_strerror(nullptr));
    result.values.resize(static_cast<std::size_t>(result.info.frames));
    result.values.resize(static_cast<std::size_t>(
        sf_read_int(handle, result.values.data(), static_cast<sf_count_t>(result.values.size()))));
    sf_close(handle);
    return result;
}

Bytes codecWrites(const std::vector<int32_t>& words, int bits) {
    const SDSDumpHeader header(0, 0, static_cast<uint8_t>(bits), 44100, static_cast<uint32_t>(words.size()), 0, 0, 0);
    return concatenated(runOpenLoop(SDSSenderStateMachine(header, words, std::nullopt, {}, openLoop())).messages);
}

// Byte for byte, except the unused end of the last packet and its checksum (see above).
void expectSameDump(const Bytes& ours, const Bytes& theirs, std::size_t words, int bits) {
    ASSERT_EQ(ours.size(), theirs.size());
    EXPECT_TRUE(std::equal(ours.begin(), ours.begin() + 21, theirs.begin())) << "headers differ";
    const std::size_t perPacket = SDSSamplePacking::wordsPerPacket(bits);
    const std::size_t packets = (words + perPacket - 1) / perPacket;
    for (std::size_t p = 0; p < packets; ++p) {
        const bool partial = p + 1 == packets && words % perPacket != 0;
        const std::size_t used = partial ? 5 : SDSDataPacket::byteCount;
        const auto mine = ours.begin() + 21 + p * SDSDataPacket::byteCount;
        const auto [a, b] = std::mismatch(mine, mine + used, theirs.begin() + (mine - ours.begin()));
        EXPECT_EQ(a, mine + used) << "packet " << p << " differs at byte " << (a - mine);
    }
}

class SDSLibsndfileOracle : public ::testing::TestWithParam<int> {};

TEST_P(SDSLibsndfileOracle, WritesTheSameDump) {
    const int bits = GetParam();
    const std::size_t perPacket = SDSSamplePacking::wordsPerPacket(bits);
    for (std::size_t count : {3 * perPacket, perPacket + 1, std::size_t{1000}, 130 * perPacket + 7}) {
        SCOPED_TRACE(count);
        const auto words = rampSamples(count, bits);
        const Bytes theirs = libsndfileWrites(words, bits);

        const auto transfers = SDSFileTransferCodec::transfers(SysExFileCodec::parse(theirs).messages);
        ASSERT_TRUE(transfers && transfers->size() == 1);
        const auto& header = transfers->front().header;
        EXPECT_EQ(header.significantBits(), bits);
        EXPECT_EQ(header.samplePeriodNanoseconds(), 22675u);
        EXPECT_EQ(header.announcedSampleWords(), static_cast<int64_t>(count));

        const Bytes ours = codecWrites(words, bits);
        expectSameDump(ours, theirs, count, bits);
        EXPECT_TRUE(count % perPacket != 0 || ours == theirs) << "full packets only: identical files";
    }
}

// The words of the full packets, as libsndfile reads them from this codec's dump.
void expectReadBack(const std::vector<int32_t>& words, int bits) {
    const auto read = libsndfileReads(codecWrites(words, bits));
    EXPECT_EQ(read.info.frames, static_cast<sf_count_t>(words.size()));
    EXPECT_EQ(read.info.channels, 1);
    const std::size_t full = words.size() / SDSSamplePacking::wordsPerPacket(bits) * SDSSamplePacking::wordsPerPacket(bits);
    const auto expected = fullScale(words, bits);
    ASSERT_GE(read.values.size(), full);
    const auto [a, b] = std::mismatch(read.values.begin(), read.values.begin() + full, expected.begin());
    EXPECT_EQ(a, read.values.begin() + full) << "first difference at word " << (a - read.values.begin());
}

TEST_P(SDSLibsndfileOracle, ReadsTheCodecsDumps) {
    const int bits = GetParam();
    expectReadBack(rampSamples(1234, bits), bits);
    expectReadBack(rampSamples(SDSSamplePacking::wordsPerPacket(bits) * 130, bits), bits);
}

INSTANTIATE_TEST_SUITE_P(Widths, SDSLibsndfileOracle, ::testing::Values(8, 16, 24));

TEST(SDSLibsndfileOracle, FourteenBitData) {
    // Written by libsndfile as a 16-bit dump, the words two bits further left.
    std::vector<int32_t> words16;
    for (int32_t w : rampSamples(777, 14)) words16.push_back(w * 4);
    expectSameDump(codecWrites(words16, 16), libsndfileWrites(words16, 16), words16.size(), 16);

    // Two bytes a word, as 14-bit dumps are sent, read back at the neighbouring width.
    expectReadBack(rampSamples(777, 12), 12);
}

}  // namespace
}  // namespace k7
