#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

#include "AudioTestSupport.h"
#include "K7Core/AudioCodecError.h"
#include "K7Core/AudioFileDecoder.h"
#include "K7Core/AudioFileEncoder.h"

namespace k7 {
namespace {

using namespace k7::test;

// Values that exercise every bit, both extremes and the sign boundary.
std::vector<int32_t> testSignal(std::size_t frames, uint32_t seed) {
    std::vector<int32_t> values{INT32_MIN, INT32_MAX, 0, -1, 1};
    uint32_t state = seed;
    while (values.size() < frames) {
        state = state * 1664525u + 1013904223u;
        values.push_back(static_cast<int32_t>(state));
    }
    values.resize(frames);
    return values;
}

AudioSample testSample(std::size_t channels, std::size_t frames, std::optional<AudioLoop> loop = std::nullopt) {
    AudioSample sample;
    sample.sampleRate = 44100;
    sample.sourceBitDepth = 32;
    for (std::size_t c = 0; c < channels; ++c) sample.channels.push_back(testSignal(frames, 7 + static_cast<uint32_t>(c)));
    sample.loop = loop;
    return sample;
}

std::vector<std::vector<int32_t>> keepTopBits(const AudioSample& sample, int bits) {
    const uint32_t mask = bits == 32 ? 0xFFFFFFFFu : ~((1u << (32 - bits)) - 1);
    auto channels = sample.channels;
    for (auto& channel : channels) {
        for (auto& value : channel) value = static_cast<int32_t>(static_cast<uint32_t>(value) & mask);
    }
    return channels;
}

struct RoundTripCase {
    const char* name;
    bool aiff;
    int bits;
    std::size_t channels;
    std::size_t frames;
    friend void PrintTo(const RoundTripCase& c, std::ostream* os) { *os << c.name; }
};

class AudioFileEncoderRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(AudioFileEncoderRoundTrip, DecodesToTheSameTopBitsAndLoop) {
    const auto& c = GetParam();
    const AudioSample sample = testSample(c.channels, c.frames, AudioLoop{1, c.frames - 2});
    const Bytes file = c.aiff ? AudioFileEncoder::aiff(sample, AudioFileEncoder::AIFFEncoding::integerPCM(c.bits))
                              : AudioFileEncoder::wav(sample, AudioFileEncoder::WAVEncoding::integerPCM(c.bits));
    // The container size matches the file, pad byte included.
    ASSERT_EQ(file.size() % 2, 0u);
    const Bytes sizeField = c.aiff ? be(file.size() - 8, 4) : le(file.size() - 8, 4);
    EXPECT_TRUE(std::equal(sizeField.begin(), sizeField.end(), file.begin() + 4));

    const AudioSample decoded = AudioFileDecoder::decode(file);
    EXPECT_EQ(decoded.channels, keepTopBits(sample, c.bits));
    EXPECT_EQ(decoded.sourceBitDepth, c.bits);
    EXPECT_EQ(decoded.sampleRate, 44100);
    EXPECT_EQ(decoded.loop, sample.loop);
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, AudioFileEncoderRoundTrip,
    ::testing::Values(RoundTripCase{"wav8MonoOddData", false, 8, 1, 33}, RoundTripCase{"wav16Stereo", false, 16, 2, 100},
                      RoundTripCase{"wav24Mono", false, 24, 1, 101}, RoundTripCase{"wav32Stereo", false, 32, 2, 64},
                      RoundTripCase{"aiff1", true, 1, 1, 20},
                      RoundTripCase{"aiff12", true, 12, 1, 40}, RoundTripCase{"aiff16Stereo", true, 16, 2, 99},
                      RoundTripCase{"aiff24Stereo", true, 24, 2, 50},
                      RoundTripCase{"aiff32Stereo", true, 32, 2, 12}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AudioFileEncoder, AIFFSampleRatesSurviveTheExtendedFormat) {
    for (int rate : {1, 2, 3, 8000, 11025, 22050, 44100, 48000, 96000, 2147483647}) {
        AudioSample sample = testSample(1, 4);
        sample.sampleRate = rate;
        EXPECT_EQ(AudioFileDecoder::decode(AudioFileEncoder::aiff(sample, {16})).sampleRate, rate) << rate;
    }
}

std::optional<std::size_t> findChunk(const Bytes& file, const char* id) {
    const auto it = std::search(file.begin(), file.end(), id, id + 4);
    if (it == file.end()) return std::nullopt;
    return static_cast<std::size_t>(it - file.begin());
}

TEST(AudioFileEncoder, WAVLoopChunkCarriesInclusiveEndAndSamplePeriod) {
    const AudioSample sample = testSample(1, 300, AudioLoop{100, 199});
    const Bytes withPeriod = AudioFileEncoder::wav(sample, {16}, 22675u);
    const auto smpl = findChunk(withPeriod, "smpl");
    ASSERT_TRUE(smpl);
    const auto field = [&](const Bytes& file, std::size_t at) {
        return Bytes(file.begin() + static_cast<std::ptrdiff_t>(at), file.begin() + static_cast<std::ptrdiff_t>(at + 4));
    };
    EXPECT_EQ(field(withPeriod, *smpl + 4), le(60, 4));                 // chunk size: one loop
    EXPECT_EQ(field(withPeriod, *smpl + 8 + 8), le(22675, 4));          // sample period
    EXPECT_EQ(field(withPeriod, *smpl + 8 + 28), le(1, 4));             // loop count
    EXPECT_EQ(field(withPeriod, *smpl + 8 + 36 + 8), le(100, 4));       // start
    EXPECT_EQ(field(withPeriod, *smpl + 8 + 36 + 12), le(199, 4));      // end, inclusive
    // Without a given period it follows from the rate: 1e9 / 44100 rounded.
    const Bytes withoutPeriod = AudioFileEncoder::wav(sample, {16});
    EXPECT_EQ(field(withoutPeriod, *findChunk(withoutPeriod, "smpl") + 8 + 8), le(22676, 4));
}

TEST(AudioFileEncoder, WritesNoLoopThatDoesNotFitTheFrames) {
    for (const auto& loop : {std::optional<AudioLoop>{}, std::optional<AudioLoop>{AudioLoop{10, 300}},
                             std::optional<AudioLoop>{AudioLoop{5, 4}}}) {
        const AudioSample sample = testSample(1, 300, loop);
        const Bytes wav = AudioFileEncoder::wav(sample, {16});
        const Bytes aiff = AudioFileEncoder::aiff(sample, {16});
        EXPECT_FALSE(findChunk(wav, "smpl"));
        EXPECT_FALSE(findChunk(aiff, "MARK") || findChunk(aiff, "INST"));
        EXPECT_FALSE(AudioFileDecoder::decode(wav).loop);
        EXPECT_FALSE(AudioFileDecoder::decode(aiff).loop);
    }
}

struct EncoderErrorCase {
    const char* name;
    AudioSample sample;
    bool aiff;
    int bits;
    AudioCodecError expected;
    friend void PrintTo(const EncoderErrorCase& c, std::ostream* os) { *os << c.name; }
};

AudioSample withChannels(std::vector<std::vector<int32_t>> channels, int rate = 44100) {
    AudioSample sample;
    sample.sampleRate = rate;
    sample.channels = std::move(channels);
    return sample;
}

using E = AudioCodecError;
class AudioFileEncoderErrors : public ::testing::TestWithParam<EncoderErrorCase> {};

TEST_P(AudioFileEncoderErrors, Refuses) {
    const auto& c = GetParam();
    try {
        c.aiff ? AudioFileEncoder::aiff(c.sample, {c.bits}) : AudioFileEncoder::wav(c.sample, {c.bits});
        FAIL() << "encoded";
    } catch (const AudioCodecError& error) {
        EXPECT_EQ(error, c.expected) << error.describe();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, AudioFileEncoderErrors,
    ::testing::Values(
        EncoderErrorCase{"wav12Bits", withChannels({{1}}), false, 12, E(E::UnsupportedOutputBitDepth{"WAV", 12})},
        EncoderErrorCase{"wav0Bits", withChannels({{1}}), false, 0, E(E::UnsupportedOutputBitDepth{"WAV", 0})},
        EncoderErrorCase{"aiff0Bits", withChannels({{1}}), true, 0, E(E::UnsupportedOutputBitDepth{"AIFF", 0})},
        EncoderErrorCase{"aiff33Bits", withChannels({{1}}), true, 33, E(E::UnsupportedOutputBitDepth{"AIFF", 33})},
        EncoderErrorCase{"noChannels", withChannels({}), false, 16, E(E::UnsupportedChannelCount{0})},
        EncoderErrorCase{"threeChannels", withChannels({{1}, {2}, {3}}), true, 16, E(E::UnsupportedChannelCount{3})},
        // Writing only the frames both channels have would silently drop samples.
        EncoderErrorCase{"unevenChannels", withChannels({{1, 2, 3}, {1}}), false, 16,
                         E(E::ChannelLengthMismatch{3, 1})},
        EncoderErrorCase{"noFrames", withChannels({{}}), true, 16, E(E::NoFrames{})},
        EncoderErrorCase{"zeroRate", withChannels({{1}}, 0), false, 16, E(E::InvalidSampleRate{"0"})},
        EncoderErrorCase{"negativeRate", withChannels({{1}}, -8000), true, 16, E(E::InvalidSampleRate{"-8000"})}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace k7
