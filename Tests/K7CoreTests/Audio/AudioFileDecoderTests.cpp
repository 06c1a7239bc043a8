#include <gtest/gtest.h>
#include <sys/mman.h>

#include <climits>
#include <limits>

#include "AudioTestSupport.h"
#include "K7Core/Audio/AudioCodecError.h"
#include "K7Core/Audio/AudioFileDecoder.h"

namespace k7 {
namespace {

using namespace k7::test;

Bytes dataFile(const char* name) {
    return readFile(std::filesystem::path(K7_SOURCE_DIR) / "Tests/K7CoreTests/Data/audio" / name);
}

// One silent 16-bit frame at a rate given as 80-bit extended bytes.
Bytes aiffAtRate(const Bytes& rate) {
    return form("AIFF", {formChunk("COMM", concat({be(1, 2), be(1, 4), be(16, 2), rate})), aiffSsnd({0, 0})});
}

const double nan = std::numeric_limits<double>::quiet_NaN();

// The encodings sox writes are checked against sox; these are the rest, and the extremes.
TEST(AudioFileDecoder, ScalesEveryEncodingToFullScaleAndReadsTheRate) {
    struct Case {
        Bytes file;
        std::vector<std::vector<int32_t>> channels;
        int bits;
        bool floatingPoint = false;
        int rate = 8000;
    };
    const std::vector<Case> cases{
        {riff({wavFmt(1, 1, 8000, 8, 1), riffChunk("data", {0x00, 0x80, 0xFF})}), {{INT32_MIN, 0, 0x7F000000}}, 8},
        {riff({wavFmt(1, 1, 8000, 12, 2), riffChunk("data", {0xF0, 0x7F})}), {{0x7FF00000}}, 12},
        // Floats clamp to [-1, 1]; +1 saturates at the 32-bit maximum; NaN becomes silence.
        {riff({wavFmt(3, 1, 8000, 32, 4), riffChunk("data", floatSamples({0.5, -1.0, 1.0, 2.0, -3.0, nan}, 4, false))}),
         {{1 << 30, INT32_MIN, INT32_MAX, INT32_MAX, INT32_MIN, 0}}, 32, true},
        {riff({wavExtensibleFmt(1, 1, 8000, 32, 24), riffChunk("data", le(0x12345600u, 4))}), {{0x12345600}}, 24},
        {riff({wavExtensibleFmt(3, 1, 8000, 32, 32), riffChunk("data", floatSamples({-0.25}, 4, false))}),
         {{-(1 << 29)}}, 32, true},
        {form("AIFF", {aiffComm(1, 1, 20, 8000), aiffSsnd({0xFF, 0xFF, 0xF0})}), {{-4096}}, 20},
        {form("AIFC", {aiffComm(1, 1, 24, 8000, "sowt"), aiffSsnd({0x56, 0x34, 0x92})}), {{int32_t(0x92345600u)}}, 24},
        {form("AIFC", {aiffComm(1, 1, 16, 8000, "twos"), aiffSsnd({0x92, 0x34})}), {{int32_t(0x92340000u)}}, 16},
        {form("AIFC", {aiffComm(1, 1, 0, 8000, "in24"), aiffSsnd({0x80, 0x00, 0x01})}), {{INT32_MIN + 256}}, 24},
        {form("AIFC", {aiffComm(1, 1, 0, 8000, "in32"), aiffSsnd(be(0xFFFFFFFF, 4))}), {{-1}}, 32},
        {form("AIFC", {aiffComm(1, 2, 8, 8000, "raw "), aiffSsnd({0x00, 0x80})}), {{INT32_MIN, 0}}, 8},
        // Float AIFC files do not always fill in the sample size; the compression type decides.
        {form("AIFC", {aiffComm(1, 1, 0, 8000, "fl32"), aiffSsnd({0x3F, 0x00, 0x00, 0x00})}), {{1 << 30}}, 32, true},
        {form("AIFC", {aiffComm(1, 3, 64, 8000, "FL64"), aiffSsnd(floatSamples({-0.5, 1.5, nan}, 8, true))}),
         {{-(1 << 30), INT32_MAX, 0}}, 64, true},
        // The extended rate is rounded to nearest.
        {aiffAtRate(Bytes{0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}), {{0}}, 16, false, 44100},
        {aiffAtRate(extended(22050.6)), {{0}}, 16, false, 22051},
        {aiffAtRate(extended(1.0)), {{0}}, 16, false, 1},
        {aiffAtRate(extended(2147483647.0)), {{0}}, 16, false, 2147483647},
    };
    for (const auto& c : cases) {
        const AudioSample sample = AudioFileDecoder::decode(c.file);
        EXPECT_EQ(sample.channels, c.channels) << ::testing::PrintToString(Bytes(c.file.begin(), c.file.begin() + 12));
        EXPECT_EQ(sample.sourceBitDepth, c.bits);
        EXPECT_EQ(sample.sampleRate, c.rate);
        EXPECT_EQ(sample.sourceWasFloatingPoint, c.floatingPoint);
        EXPECT_FALSE(sample.loop.has_value());
    }
}

TEST(AudioFileDecoder, ToleratesCommonContainerQuirks) {
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
    const AudioSample sample = AudioFileDecoder::decode(dataFile("odd-chunk-before-data.aiff"));
    EXPECT_EQ(sample.sampleRate, 44100);
    EXPECT_EQ(sample.channels, (std::vector<std::vector<int32_t>>{{1 << 16, 2 << 16, 3 << 16},
                                                                  {-(1 << 16), -(2 << 16), -(3 << 16)}}));
}

Bytes wavWithTenFrames(const Bytes& smpl) {
    return riff({wavFmt(1, 1, 8000, 8, 1), riffChunk("data", Bytes(10, 0x80)), smpl});
}
// Ten frames, markers at (id, position) named with id letters so some names need a pad byte, and a
// sustain loop of the given play mode between two marker ids.
Bytes aiffWithTenFrames(std::vector<std::pair<int16_t, uint32_t>> marks, int16_t playMode, int16_t begin, int16_t end) {
    Bytes mark = be(marks.size(), 2);
    for (const auto& [id, position] : marks) {
        mark = concat({mark, aiffMarker(id, position, std::string(static_cast<std::size_t>(id), 'm'))});
    }
    return form("AIFF", {aiffComm(1, 10, 8, 8000), formChunk("MARK", mark), aiffInst(playMode, begin, end),
                         aiffSsnd(Bytes(10, 0))});
}

// A loop that does not fit the frames is dropped, so cutting to it can never read past the samples.
TEST(AudioFileDecoder, ReadsOrDropsTheLoop) {
    const std::vector<std::pair<Bytes, std::optional<AudioLoop>>> cases{
        {wavWithTenFrames(wavSmpl(1, 2, 9)), AudioLoop{2, 9}},  // the end is inclusive
        {wavWithTenFrames(wavSmpl(1, 2, 10)), std::nullopt},
        {dataFile("loop-past-end.wav"), std::nullopt},
        {wavWithTenFrames(wavSmpl(0, 0, 0)), std::nullopt},
        {wavWithTenFrames(riffChunk("smpl", Bytes(40, 0))), std::nullopt},
        {aiffWithTenFrames({{1, 3}, {2, 10}}, 1, 1, 2), AudioLoop{3, 9}},  // the end marker is exclusive
        {aiffWithTenFrames({{7, 8}, {4, 0}}, 2, 4, 7), AudioLoop{0, 7}},   // markers in any order
        {aiffWithTenFrames({{1, 3}, {2, 8}}, 0, 1, 2), std::nullopt},      // no looping
        {aiffWithTenFrames({{1, 3}}, 1, 1, 2), std::nullopt},              // a missing marker
        {aiffWithTenFrames({{1, 3}, {2, 3}}, 1, 1, 2), std::nullopt},      // empty
        {aiffWithTenFrames({{1, 3}, {2, 11}}, 1, 1, 2), std::nullopt},
        {form("AIFF", {aiffComm(1, 10, 8, 8000), formChunk("MARK", concat({be(500, 2), aiffMarker(1, 1, "a")})),
                       aiffInst(1, 1, 2), aiffSsnd(Bytes(10, 0))}),
         std::nullopt},  // the marker count lies
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(AudioFileDecoder::decode(cases[i].first).loop, cases[i].second) << "case " << i;
    }
}

TEST(AudioFileDecoder, RefusesWithTheCaseAndAWholeSentence) {
    using E = AudioCodecError;
    // Without a reason only the chunk is compared; two reasons stand for the rest.
    const auto malformed = [](std::string id, std::string reason = "") { return E(E::MalformedChunk{id, reason}); };
    const Bytes wav16 = wavFmt(1, 1, 8000, 16, 2), someData = riffChunk("data", {0, 0});
    const std::vector<std::pair<Bytes, E>> cases{
        {concat({text("RIFF"), le(4, 4), text("AVI ")}), E(E::UnrecognizedFormat{})},
        {riff({someData}), E(E::MissingChunk{"WAV", "fmt "})},
        {riff({wav16}), E(E::MissingChunk{"WAV", "data"})},
        {form("AIFF", {aiffSsnd({0, 0})}), E(E::MissingChunk{"AIFF", "COMM"})},
        {form("AIFC", {aiffComm(1, 1, 16, 8000, "NONE")}), E(E::MissingChunk{"AIFC", "SSND"})},
        {dataFile("truncated-data.wav"), E(E::ChunkOutOfBounds{"data", 36, 1000, 100})},
        // A size near 4 GiB must not wrap; an unprintable chunk ID is shown with "?".
        {riff({wav16, text("da\x01" "a"), le(0xFFFFFFFF, 4)}), E(E::ChunkOutOfBounds{"da?a", 36, 0xFFFFFFFF, 0})},
        {riff({riffChunk("fmt ", Bytes(14, 1)), someData}),
         malformed("fmt ", "it is 14 bytes long, shorter than the 16 bytes it must hold")},
        {riff({wavFmt(1, 2, 8000, 16, 2), someData}),
         malformed("fmt ", "its block size of 2 bytes does not match 2 channel(s) of 2 bytes")},
        {riff({wavFmt(0xFFFE, 1, 8000, 16, 2), someData}), malformed("fmt ")},
        {riff({wavExtensibleFmt(1, 1, 8000, 16, 24), someData}), malformed("fmt ")},
        {form("AIFF", {formChunk("COMM", Bytes(16, 0)), aiffSsnd({})}), malformed("COMM")},
        {form("AIFC", {aiffComm(1, 1, 16, 8000), aiffSsnd({0, 0})}), malformed("COMM")},
        {form("AIFF", {aiffComm(1, 1, 16, 8000), formChunk("SSND", Bytes(4, 0))}), malformed("SSND")},
        {form("AIFF", {aiffComm(1, 1, 16, 8000), formChunk("SSND", concat({be(9, 4), be(0, 4), Bytes{0, 0}}))}),
         malformed("SSND")},
        {riff({wavFmt(2, 1, 8000, 4, 1), someData}), E(E::UnsupportedFormatTag{2})},
        {riff({riffChunk("fmt ", concat({le(0xFFFE, 2), le(1, 2), le(8000, 4), le(16000, 4), le(2, 2), le(16, 2),
                                         le(22, 2), le(16, 2), le(0, 4), Bytes(16, 0x11)})),  // an unknown GUID
               someData}),
         E(E::UnsupportedFormatTag{0xFFFE})},
        {dataFile("ulaw.aifc"), E(E::UnsupportedCompression{"ulaw"})},
        {riff({wavFmt(1, 1, 8000, 40, 5), someData}), E(E::UnsupportedBitDepth{40, false})},
        {riff({wavFmt(3, 1, 8000, 16, 2), someData}), E(E::UnsupportedBitDepth{16, true})},
        {form("AIFF", {aiffComm(1, 1, 0, 8000), aiffSsnd({0})}), E(E::UnsupportedBitDepth{0, false})},
        {dataFile("three-channels.wav"), E(E::UnsupportedChannelCount{3})},
        {riff({wavFmt(1, 0, 8000, 16, 0), someData}), E(E::UnsupportedChannelCount{0})},
        {riff({wav16, riffChunk("data", {7})}), E(E::NoFrames{})},
        {form("AIFF", {aiffComm(1, 0, 16, 8000)}), E(E::NoFrames{})},
        {riff({wavFmt(1, 1, 0, 16, 2), someData}), E(E::InvalidSampleRate{"0"})},
        {riff({wavFmt(1, 1, 0x80000000u, 16, 2), someData}), E(E::InvalidSampleRate{"2147483648"})},
        {dataFile("infinite-rate.aiff"), E(E::InvalidSampleRate{"inf"})},
        {aiffAtRate(extended(0x7FFF, 1)), E(E::InvalidSampleRate{"nan"})},
        {aiffAtRate(extended(0.25)), E(E::InvalidSampleRate{"0.25"})},
        {aiffAtRate(extended(-44100.0)), E(E::InvalidSampleRate{"-44100"})},
        {form("AIFF", {aiffComm(2, 4, 16, 8000), aiffSsnd(Bytes(15, 0))}), E(E::TruncatedSoundData{4, 3})},
        {form("AIFF", {aiffComm(1, 0xFFFFFFFF, 32, 8000), aiffSsnd(Bytes(4, 0))}), E(E::TruncatedSoundData{0xFFFFFFFF, 1})},
    };
    for (const auto& [file, expected] : cases) {
        auto error = thrown<AudioCodecError>([&file = file] { AudioFileDecoder::decode(file); });
        const std::string message = error ? error->what() : "";
        EXPECT_TRUE(std::isupper(static_cast<unsigned char>(message.front())) && message.back() == '.') << message;
        const auto* chunk = expected.as<E::MalformedChunk>();
        const auto* actual = error ? error->as<E::MalformedChunk>() : nullptr;
        if (chunk && chunk->reason.empty() && actual) error = E(E::MalformedChunk{actual->chunk, ""});
        EXPECT_EQ(error, expected);
    }
}

TEST(AudioFileDecoder, RefusesInputOverMaximumWithoutReadingIt) {
    const std::size_t size = AudioFileDecoder::maximumInputBytes + 1;
    // Reserved address space only; the decoder must refuse before touching it.
    void* memory = mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(memory, MAP_FAILED);
    const ByteView file(static_cast<const uint8_t*>(memory), size);
    const auto error = thrown<AudioCodecError>([&file = file] { AudioFileDecoder::decode(file); });
    EXPECT_EQ(error, AudioCodecError(AudioCodecError::InputTooLarge{size, AudioFileDecoder::maximumInputBytes}));
    EXPECT_STREQ(error->what(), "The audio file is 536870913 bytes long, more than the 536870912 bytes that can be read.");
    munmap(memory, size);
}

}  // namespace
}  // namespace k7
