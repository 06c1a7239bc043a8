#include <gtest/gtest.h>
#include <sys/mman.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

#include "AudioTestSupport.h"
#include "K7Core/AudioCodecError.h"
#include "K7Core/AudioFileDecoder.h"

namespace k7 {
namespace {

using namespace k7::test;

Bytes floatsLE(std::initializer_list<float> values) {
    Bytes out;
    for (float v : values) {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        putLE(out, bits, 4);
    }
    return out;
}
Bytes doublesBE(std::initializer_list<double> values) {
    Bytes out;
    for (double v : values) {
        uint64_t bits;
        std::memcpy(&bits, &v, 8);
        putBE(out, bits, 8);
    }
    return out;
}

const float nanFloat = std::numeric_limits<float>::quiet_NaN();
const double nanDouble = std::numeric_limits<double>::quiet_NaN();

struct SampleCase {
    const char* name;
    friend void PrintTo(const SampleCase& c, std::ostream* os) { *os << c.name; }
    Bytes file;
    std::vector<std::vector<int32_t>> channels;
    int bits;
    bool floatingPoint;
};

class AudioFileDecoderSamples : public ::testing::TestWithParam<SampleCase> {};

TEST_P(AudioFileDecoderSamples, ScalesToFullScale) {
    const auto& c = GetParam();
    const AudioSample sample = AudioFileDecoder::decode(c.file);
    EXPECT_EQ(sample.channels, c.channels);
    EXPECT_EQ(sample.sourceBitDepth, c.bits);
    EXPECT_EQ(sample.sourceWasFloatingPoint, c.floatingPoint);
    EXPECT_FALSE(sample.loop.has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, AudioFileDecoderSamples,
    ::testing::Values(
        SampleCase{"wavUnsigned8", riff({wavFmt(1, 1, 8000, 8, 1), riffChunk("data", {0x00, 0x80, 0xFF})}),
                   {{INT32_MIN, 0, 0x7F000000}}, 8, false},
        SampleCase{"wavStereo16",
                   riff({wavFmt(1, 2, 8000, 16, 4), riffChunk("data", {0x00, 0x80, 0xFF, 0x7F, 0xFF, 0xFF, 0x01, 0x00})}),
                   {{INT32_MIN, -65536}, {0x7FFF0000, 0x10000}}, 16, false},
        SampleCase{"wav24", riff({wavFmt(1, 1, 8000, 24, 3), riffChunk("data", {0x01, 0x02, 0x83, 0xFF, 0xFF, 0x7F})}),
                   {{static_cast<int32_t>(0x83020100u), 0x7FFFFF00}}, 24, false},
        SampleCase{"wav12In16", riff({wavFmt(1, 1, 8000, 12, 2), riffChunk("data", {0xF0, 0x7F})}),
                   {{0x7FF00000}}, 12, false},
        // Floats clamp to [-1, 1]; +1 saturates at the 32-bit maximum; NaN becomes silence.
        SampleCase{"wavFloat32",
                   riff({wavFmt(3, 1, 8000, 32, 4), riffChunk("data", floatsLE({0.5f, -1.0f, 1.0f, 2.0f, -3.0f, nanFloat}))}),
                   {{1 << 30, INT32_MIN, INT32_MAX, INT32_MAX, INT32_MIN, 0}}, 32, true},
        SampleCase{"wavExtensible24In32",
                   riff({wavExtensibleFmt(1, 1, 8000, 32, 24), riffChunk("data", le(0x12345600u, 4))}),
                   {{0x12345600}}, 24, false},
        SampleCase{"wavExtensibleFloat",
                   riff({wavExtensibleFmt(3, 1, 8000, 32, 32), riffChunk("data", floatsLE({-0.25f}))}),
                   {{-(1 << 29)}}, 32, true},
        SampleCase{"aiffSigned8", form("AIFF", {aiffComm(1, 3, 8, 8000), aiffSsnd({0x80, 0x00, 0x7F})}),
                   {{INT32_MIN, 0, 0x7F000000}}, 8, false},
        SampleCase{"aiffStereo16", form("AIFF", {aiffComm(2, 1, 16, 8000), aiffSsnd({0x80, 0x00, 0x00, 0x01})}),
                   {{INT32_MIN}, {0x10000}}, 16, false},
        SampleCase{"aiff20In24", form("AIFF", {aiffComm(1, 1, 20, 8000), aiffSsnd({0xFF, 0xFF, 0xF0})}),
                   {{-4096}}, 20, false},
        SampleCase{"aifcSowt", form("AIFC", {aifcComm(1, 1, 16, 8000, "sowt"), aiffSsnd({0x34, 0x12})}),
                   {{0x12340000}}, 16, false},
        SampleCase{"aifcSowt24", form("AIFC", {aifcComm(1, 1, 24, 8000, "sowt"), aiffSsnd({0x56, 0x34, 0x92})}),
                   {{static_cast<int32_t>(0x92345600u)}}, 24, false},
        SampleCase{"aifcIn24", form("AIFC", {aifcComm(1, 1, 0, 8000, "in24"), aiffSsnd({0x80, 0x00, 0x01})}),
                   {{INT32_MIN + 256}}, 24, false},
        SampleCase{"aifcIn32", form("AIFC", {aifcComm(1, 1, 0, 8000, "in32"), aiffSsnd(be(0xFFFFFFFF, 4))}), {{-1}},
                   32, false},
        SampleCase{"aifcRaw", form("AIFC", {aifcComm(1, 2, 8, 8000, "raw "), aiffSsnd({0x00, 0x80})}),
                   {{INT32_MIN, 0}}, 8, false},
        // Float AIFC files do not always fill in the sample size; the compression type decides.
        SampleCase{"aifcFl32WithoutSize",
                   form("AIFC", {aifcComm(1, 1, 0, 8000, "fl32"), aiffSsnd({0x3F, 0x00, 0x00, 0x00})}), {{1 << 30}},
                   32, true},
        SampleCase{"aifcFL64", form("AIFC", {aifcComm(1, 3, 64, 8000, "FL64"), aiffSsnd(doublesBE({-0.5, 1.5, nanDouble}))}),
                   {{-(1 << 30), INT32_MAX, 0}}, 64, true}),
    [](const auto& info) { return std::string(info.param.name); });

struct RateCase {
    const char* name;
    friend void PrintTo(const RateCase& c, std::ostream* os) { *os << c.name; }
    Bytes rate;
    int expected;
};

class AudioFileDecoderAIFFRate : public ::testing::TestWithParam<RateCase> {};

TEST_P(AudioFileDecoderAIFFRate, ReadsExtendedRate) {
    const auto& c = GetParam();
    const Bytes comm = formChunk("COMM", cat({be(1, 2), be(1, 4), be(16, 2), c.rate}));
    EXPECT_EQ(AudioFileDecoder::decode(form("AIFF", {comm, aiffSsnd({0, 0})})).sampleRate, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Rates, AudioFileDecoderAIFFRate,
                         ::testing::Values(RateCase{"cd", Bytes{0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}, 44100},
                                           RateCase{"fractionalRoundsToNearest", extended(22050.6), 22051},
                                           RateCase{"low", extended(1.0), 1},
                                           RateCase{"high", extended(2147483647.0), 2147483647}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AudioFileDecoderStructure, ToleratesCommonContainerQuirks) {
    const Bytes data = riffChunk("data", {0x01, 0x00, 0x02, 0x00});
    const std::vector<std::vector<int32_t>> expected{{0x10000, 0x20000}};
    // An odd chunk and its pad byte before the data; the first of two data chunks wins.
    Bytes file = riff({riffChunk("junk", {1, 2, 3}), wavFmt(1, 1, 8000, 16, 2), data, riffChunk("data", {9, 9})});
    EXPECT_EQ(AudioFileDecoder::decode(file).channels, expected);
    // A RIFF size larger than the file, and bytes after a smaller one, are both ignored.
    file = riff({wavFmt(1, 1, 8000, 16, 2), data});
    Bytes larger = file;
    larger[4] = 0xF0;
    EXPECT_EQ(AudioFileDecoder::decode(larger).channels, expected);
    Bytes trailing = file;
    trailing.insert(trailing.end(), {'I', 'D', '3', 3, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(AudioFileDecoder::decode(trailing).channels, expected);
    // A partial frame at the end of the data is not a frame.
    EXPECT_EQ(AudioFileDecoder::decode(riff({wavFmt(1, 1, 8000, 16, 2), riffChunk("data", {1, 0, 2, 0, 3})})).channels,
              expected);
    // AIFF sound data start after the SSND offset; frames beyond the announced count are ignored.
    const Bytes aiff = form("AIFF", {aiffComm(1, 2, 16, 8000), aiffSsnd({0, 1, 0, 2, 0, 3}, 5)});
    EXPECT_EQ(AudioFileDecoder::decode(aiff).channels, expected);
}

TEST(AudioFileDecoderStructure, HandMadeOddChunkFileDecodes) {
    const auto path = std::filesystem::path(K7_SOURCE_DIR) / "Tests/K7CoreTests/Data/audio/odd-chunk-before-data.aiff";
    const AudioSample sample = AudioFileDecoder::decode(readFile(path));
    EXPECT_EQ(sample.sampleRate, 44100);
    EXPECT_EQ(sample.channels, (std::vector<std::vector<int32_t>>{{1 << 16, 2 << 16, 3 << 16},
                                                                  {-(1 << 16), -(2 << 16), -(3 << 16)}}));
}

struct LoopCase {
    const char* name;
    friend void PrintTo(const LoopCase& c, std::ostream* os) { *os << c.name; }
    Bytes file;
    std::optional<AudioLoop> expected;
};

Bytes wavWithTenFrames(const Bytes& extra) {
    return riff({wavFmt(1, 1, 8000, 8, 1), riffChunk("data", Bytes(10, 0x80)), extra});
}
Bytes aiffWithTenFrames(const Bytes& mark, const Bytes& inst) {
    return form("AIFF", {aiffComm(1, 10, 8, 8000), mark, inst, aiffSsnd(Bytes(10, 0))});
}
Bytes markers(std::initializer_list<Bytes> list) {
    Bytes body = be(list.size(), 2);
    for (const auto& m : list) body.insert(body.end(), m.begin(), m.end());
    return formChunk("MARK", body);
}

class AudioFileDecoderLoops : public ::testing::TestWithParam<LoopCase> {};

TEST_P(AudioFileDecoderLoops, ReadsOrDropsLoop) {
    EXPECT_EQ(AudioFileDecoder::decode(GetParam().file).loop, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Loops, AudioFileDecoderLoops,
    ::testing::Values(
        LoopCase{"wavInclusiveEnd", wavWithTenFrames(wavSmpl(1, 2, 9)), AudioLoop{2, 9}},
        LoopCase{"wavEndPastFrames", wavWithTenFrames(wavSmpl(1, 2, 10)), std::nullopt},
        LoopCase{"wavReversed", wavWithTenFrames(wavSmpl(1, 5, 4)), std::nullopt},
        LoopCase{"wavNoLoops", wavWithTenFrames(wavSmpl(0, 0, 0)), std::nullopt},
        LoopCase{"wavShortSmpl", wavWithTenFrames(riffChunk("smpl", Bytes(40, 0))), std::nullopt},
        LoopCase{"aiffExclusiveEndMarker",
                 aiffWithTenFrames(markers({aiffMarker(1, 3, "beg"), aiffMarker(2, 10, "end loop")}), aiffInst(1, 1, 2)),
                 AudioLoop{3, 9}},
        LoopCase{"aiffMarkersInAnyOrder",
                 aiffWithTenFrames(markers({aiffMarker(7, 8, ""), aiffMarker(4, 0, "a")}), aiffInst(2, 4, 7)),
                 AudioLoop{0, 7}},
        LoopCase{"aiffNoLooping", aiffWithTenFrames(markers({aiffMarker(1, 3, "a"), aiffMarker(2, 8, "b")}), aiffInst(0, 1, 2)),
                 std::nullopt},
        LoopCase{"aiffMissingMarker", aiffWithTenFrames(markers({aiffMarker(1, 3, "a")}), aiffInst(1, 1, 2)), std::nullopt},
        LoopCase{"aiffEmptyLoop", aiffWithTenFrames(markers({aiffMarker(1, 3, "a"), aiffMarker(2, 3, "b")}), aiffInst(1, 1, 2)),
                 std::nullopt},
        LoopCase{"aiffEndPastFrames",
                 aiffWithTenFrames(markers({aiffMarker(1, 3, "a"), aiffMarker(2, 11, "b")}), aiffInst(1, 1, 2)),
                 std::nullopt},
        LoopCase{"aiffMarkerCountLies",
                 aiffWithTenFrames(formChunk("MARK", cat({be(500, 2), aiffMarker(1, 1, "a")})), aiffInst(1, 1, 2)),
                 std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AudioFileDecoderLoops, HandMadeLoopPastEndIsDropped) {
    const auto path = std::filesystem::path(K7_SOURCE_DIR) / "Tests/K7CoreTests/Data/audio/loop-past-end.wav";
    const AudioSample sample = AudioFileDecoder::decode(readFile(path));
    EXPECT_EQ(sample.frameCount(), 10u);
    EXPECT_FALSE(sample.loop.has_value());
}

struct ErrorCase {
    const char* name;
    friend void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.name; }
    Bytes file;
    AudioCodecError expected;
};

Bytes dataFile(const char* name) {
    return readFile(std::filesystem::path(K7_SOURCE_DIR) / "Tests/K7CoreTests/Data/audio" / name);
}
const Bytes wav16 = wavFmt(1, 1, 8000, 16, 2);
const Bytes someData = riffChunk("data", {0, 0});
using E = AudioCodecError;

class AudioFileDecoderErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(AudioFileDecoderErrors, RefusesWithSentence) {
    const auto& c = GetParam();
    try {
        AudioFileDecoder::decode(c.file);
        FAIL() << "decoded";
    } catch (const AudioCodecError& error) {
        EXPECT_EQ(error, c.expected) << error.describe();
        const std::string message = error.what();
        EXPECT_TRUE(std::isupper(static_cast<unsigned char>(message.front())) && message.back() == '.') << message;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, AudioFileDecoderErrors,
    ::testing::Values(
        ErrorCase{"avi", cat({text("RIFF"), le(4, 4), text("AVI ")}), E(E::UnrecognizedFormat{})},
        ErrorCase{"noFmt", riff({someData}), E(E::MissingChunk{"WAV", "fmt "})},
        ErrorCase{"noData", riff({wav16}), E(E::MissingChunk{"WAV", "data"})},
        ErrorCase{"noComm", form("AIFF", {aiffSsnd({0, 0})}), E(E::MissingChunk{"AIFF", "COMM"})},
        ErrorCase{"noSsnd", form("AIFC", {aifcComm(1, 1, 16, 8000, "NONE")}), E(E::MissingChunk{"AIFC", "SSND"})},
        ErrorCase{"truncatedData", dataFile("truncated-data.wav"), E(E::ChunkOutOfBounds{"data", 36, 1000, 100})},
        ErrorCase{"chunkSizeNearFourGigabytes",
                  withFormSizeOfFile(cat({riff({wav16}), text("da\x01" "a"), le(0xFFFFFFFF, 4)}), false),
                  E(E::ChunkOutOfBounds{"da?a", 36, 0xFFFFFFFF, 0})},
        ErrorCase{"shortFmt", riff({riffChunk("fmt ", Bytes(14, 1)), someData}),
                  E(E::MalformedChunk{"fmt ", "it is 14 bytes long, shorter than the 16 bytes it must hold"})},
        ErrorCase{"blockAlignMismatch", riff({wavFmt(1, 2, 8000, 16, 2), someData}),
                  E(E::MalformedChunk{"fmt ", "its block size of 2 bytes does not match 2 channel(s) of 2 bytes"})},
        ErrorCase{"shortExtensible", riff({wavFmt(0xFFFE, 1, 8000, 16, 2), someData}),
                  E(E::MalformedChunk{"fmt ", "it is 16 bytes long, too short for the extensible format it declares"})},
        ErrorCase{"validBitsOverContainer", riff({wavExtensibleFmt(1, 1, 8000, 16, 24), someData}),
                  E(E::MalformedChunk{"fmt ", "24 valid bits do not fit a 16-bit sample container"})},
        ErrorCase{"shortComm", form("AIFF", {formChunk("COMM", Bytes(16, 0)), aiffSsnd({})}),
                  E(E::MalformedChunk{"COMM", "it is 16 bytes long, shorter than the 18 bytes it must hold"})},
        ErrorCase{"aifcCommWithoutType", form("AIFC", {aiffComm(1, 1, 16, 8000), aiffSsnd({0, 0})}),
                  E(E::MalformedChunk{"COMM", "it is 18 bytes long, shorter than the 22 bytes it must hold"})},
        ErrorCase{"shortSsnd", form("AIFF", {aiffComm(1, 1, 16, 8000), formChunk("SSND", Bytes(4, 0))}),
                  E(E::MalformedChunk{"SSND", "it is 4 bytes long, shorter than its 8-byte header"})},
        ErrorCase{"ssndOffsetPastEnd", form("AIFF", {aiffComm(1, 1, 16, 8000), formChunk("SSND", cat({be(9, 4), be(0, 4), Bytes{0, 0}}))}),
                  E(E::MalformedChunk{"SSND", "its sound data would start 9 bytes in, past the chunk's end"})},
        ErrorCase{"adpcm", riff({wavFmt(2, 1, 8000, 4, 1), someData}), E(E::UnsupportedFormatTag{2})},
        ErrorCase{"unknownSubFormatGuid",
                  riff({riffChunk("fmt ", cat({le(0xFFFE, 2), le(1, 2), le(8000, 4), le(16000, 4), le(2, 2), le(16, 2),
                                               le(22, 2), le(16, 2), le(0, 4), Bytes(16, 0x11)})),
                        someData}),
                  E(E::UnsupportedFormatTag{0xFFFE})},
        ErrorCase{"ulaw", dataFile("ulaw.aifc"), E(E::UnsupportedCompression{"ulaw"})},
        ErrorCase{"wav40Bit", riff({wavFmt(1, 1, 8000, 40, 5), someData}), E(E::UnsupportedBitDepth{40, false})},
        ErrorCase{"wavFloat16", riff({wavFmt(3, 1, 8000, 16, 2), someData}), E(E::UnsupportedBitDepth{16, true})},
        ErrorCase{"aiffZeroBits", form("AIFF", {aiffComm(1, 1, 0, 8000), aiffSsnd({0})}), E(E::UnsupportedBitDepth{0, false})},
        ErrorCase{"threeChannels", dataFile("three-channels.wav"), E(E::UnsupportedChannelCount{3})},
        ErrorCase{"wavNoChannels", riff({wavFmt(1, 0, 8000, 16, 0), someData}), E(E::UnsupportedChannelCount{0})},
        ErrorCase{"wavEmptyData", riff({wav16, riffChunk("data", {})}), E(E::NoFrames{})},
        ErrorCase{"wavLessThanAFrame", riff({wav16, riffChunk("data", {7})}), E(E::NoFrames{})},
        ErrorCase{"aiffZeroFrames", form("AIFF", {aiffComm(1, 0, 16, 8000)}), E(E::NoFrames{})},
        ErrorCase{"wavZeroRate", riff({wavFmt(1, 1, 0, 16, 2), someData}), E(E::InvalidSampleRate{"0"})},
        ErrorCase{"wavRateOverInt", riff({wavFmt(1, 1, 0x80000000u, 16, 2), someData}),
                  E(E::InvalidSampleRate{"2147483648"})},
        ErrorCase{"aiffInfiniteRate", dataFile("infinite-rate.aiff"), E(E::InvalidSampleRate{"inf"})},
        ErrorCase{"aiffNaNRate",
                  form("AIFF", {formChunk("COMM", cat({be(1, 2), be(1, 4), be(16, 2), extended(0x7FFF, 1)})), aiffSsnd({0, 0})}),
                  E(E::InvalidSampleRate{"nan"})},
        ErrorCase{"aiffNegativeRate", form("AIFF", {aiffComm(1, 1, 16, -44100), aiffSsnd({0, 0})}),
                  E(E::InvalidSampleRate{"-44100"})},
        ErrorCase{"aiffRateRoundsToZero", form("AIFF", {aiffComm(1, 1, 16, 0.25), aiffSsnd({0, 0})}),
                  E(E::InvalidSampleRate{"0.25"})},
        ErrorCase{"aiffShortSound", form("AIFF", {aiffComm(2, 4, 16, 8000), aiffSsnd(Bytes(15, 0))}),
                  E(E::TruncatedSoundData{4, 3})},
        ErrorCase{"aiffHugeFrameCount", form("AIFF", {aiffComm(1, 0xFFFFFFFF, 32, 8000), aiffSsnd(Bytes(4, 0))}),
                  E(E::TruncatedSoundData{0xFFFFFFFF, 1})}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AudioFileDecoderErrors, RefusesInputOverMaximumWithoutReadingIt) {
    const std::size_t size = AudioFileDecoder::maximumInputBytes + 1;
    // Reserved address space only; the decoder must refuse before touching it.
    void* memory = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(memory, MAP_FAILED);
    try {
        AudioFileDecoder::decode(ByteView(static_cast<const uint8_t*>(memory), size));
        ADD_FAILURE() << "decoded";
    } catch (const AudioCodecError& error) {
        EXPECT_EQ(error, AudioCodecError(AudioCodecError::InputTooLarge{size, AudioFileDecoder::maximumInputBytes}));
        EXPECT_STREQ(error.what(), "The audio file is 536870913 bytes long, more than the 536870912 bytes that can be read.");
    }
    munmap(memory, size);
}

}  // namespace
}  // namespace k7
