#include <gtest/gtest.h>
#include <sndfile.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include "K7Core/SDS/SDSDataPacket.h"
#include "K7Core/SDS/SDSFileTransferCodec.h"
#include "K7Core/SDS/SDSSamplePacking.h"
#include "K7Core/SysEx/SysExFileCodec.h"
#include "SDSTestSupport.h"

// libsndfile writes SDS dumps as files; this codec must write the same bytes and read its words back. Known differences
// (libsndfile 1.2.0), avoided below: it writes only 8, 16 and 24 significant bits; it fills the
// unused low bits of a packed word with the source's next bits (data quantised to the width packs
// the same); it writes stale bytes into a last packet that is not full, so only full packets are
// compared; it always writes device 0, sample 0, no loop and no end-of-file message.

namespace k7 {
namespace {

using namespace sds_test;

// libsndfile works on a temporary file, given full-scale values with the words in their top bits.
Bytes libsndfileWrites(const std::vector<int32_t>& words, int bits) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::tmpfile(), &std::fclose);
    const int subformat = bits == 8 ? SF_FORMAT_PCM_S8 : bits == 16 ? SF_FORMAT_PCM_16 : SF_FORMAT_PCM_24;
    SF_INFO info{0, 44100, 1, SF_FORMAT_SDS | subformat, 0, 0};
    SNDFILE* handle = sf_open_fd(fileno(file.get()), SFM_WRITE, &info, SF_FALSE);
    if (!handle) throw std::runtime_error(sf_strerror(nullptr));
    std::vector<int> values;
    for (int32_t w : words) values.push_back(static_cast<int>(static_cast<uint32_t>(w) << (32 - bits)));
    sf_write_int(handle, values.data(), static_cast<sf_count_t>(values.size()));
    sf_close(handle);
    Bytes bytes(static_cast<std::size_t>(lseek(fileno(file.get()), 0, SEEK_END)));
    EXPECT_EQ(pread(fileno(file.get()), bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
    return bytes;
}

class SDSLibsndfileOracle : public ::testing::TestWithParam<int> {};

// Byte for byte, except the unused end of a last packet that is not full, and its checksum.
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
        // Read back: the words of libsndfile's full packets unpack to what it was given.
        const auto& packets = transfers->front().packetMessages;
        std::vector<int32_t> read(count / perPacket * perPacket);
        for (std::size_t p = 0; p < read.size() / perPacket; ++p) {
            SDSSamplePacking::unpack(ByteView(packets[p]).subspan(5, SDSDataPacket::payloadByteCount), bits,
                                     std::span<int32_t>(read).subspan(p * perPacket, perPacket));
        }
        EXPECT_TRUE(std::equal(read.begin(), read.end(), words.begin()));

        const SDSDumpHeader ourHeader(0, 0, static_cast<uint8_t>(bits), 44100, static_cast<uint32_t>(count), 0, 0, 0);
        const Bytes ours =
            concatenated(runOpenLoop(SDSSenderStateMachine(ourHeader, words, std::nullopt, {}, openLoop())).messages);
        ASSERT_EQ(ours.size(), theirs.size());
        const std::size_t partial = count % perPacket == 0 ? 0 : SDSDataPacket::byteCount - 5;
        const auto [a, b] = std::mismatch(ours.begin(), ours.end() - static_cast<std::ptrdiff_t>(partial), theirs.begin());
        EXPECT_EQ(a, ours.end() - static_cast<std::ptrdiff_t>(partial)) << "first difference at byte " << (a - ours.begin());
    }
}

INSTANTIATE_TEST_SUITE_P(Widths, SDSLibsndfileOracle, ::testing::Values(8, 16, 24));

}  // namespace
}  // namespace k7
