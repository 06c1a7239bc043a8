#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "AudioTestSupport.h"
#include "K7Core/Audio/AudioCodecError.h"
#include "K7Core/Audio/AudioFileDecoder.h"
#include "K7Core/Audio/AudioFileEncoder.h"

namespace k7 {
namespace {

using namespace k7::test;

// sox checks what it reads of these files; here the loop, the size field and odd rates come back.
TEST(AudioFileEncoder, RoundTripsTheTopBitsTheLoopAndTheRate) {
    const std::vector<std::tuple<bool, int, std::size_t, std::size_t, int>> cases{
        {false, 8, 1, 33, 44100},  // odd data: pad byte
        {false, 16, 2, 100, 1}, {true, 1, 1, 20, 3}, {true, 12, 1, 40, 11025}, {true, 24, 2, 50, 2147483647},
    };
    for (const auto& [aiff, bits, channels, frames, rate] : cases) {
        SCOPED_TRACE((aiff ? "AIFF " : "WAV ") + std::to_string(bits) + " bits");
        AudioSample sample = testSample(channels, frames, AudioLoop{1, frames - 2});
        sample.sampleRate = rate;
        const Bytes file = aiff ? AudioFileEncoder::aiff(sample, AudioFileEncoder::AIFFEncoding::integerPCM(bits))
                                : AudioFileEncoder::wav(sample, AudioFileEncoder::WAVEncoding::integerPCM(bits));
        ASSERT_EQ(file.size() % 2, 0u);
        EXPECT_EQ(Bytes(file.begin() + 4, file.begin() + 8), aiff ? be(file.size() - 8, 4) : le(file.size() - 8, 4));
        if (!aiff) {
            // Readers that stream by the header's byte rate and block align need them right.
            const std::size_t blockAlign = channels * static_cast<std::size_t>((bits + 7) / 8);
            const uint64_t byteRate = static_cast<uint64_t>(rate) * blockAlign;
            if (byteRate <= UINT32_MAX) {
                EXPECT_EQ(Bytes(file.begin() + 28, file.begin() + 32), le(byteRate, 4));
            }
            EXPECT_EQ(Bytes(file.begin() + 32, file.begin() + 34), le(blockAlign, 2));
        }
        const AudioSample decoded = AudioFileDecoder::decode(file);
        EXPECT_EQ(decoded.channels, keepTopBits(sample.channels, bits));
        EXPECT_EQ(decoded.sourceBitDepth, bits);
        EXPECT_EQ(decoded.sampleRate, rate);
        EXPECT_EQ(decoded.loop, sample.loop);
    }
}

std::optional<std::size_t> findChunk(const Bytes& file, const char* id) {
    const auto it = std::search(file.begin(), file.end(), id, id + 4);
    if (it == file.end()) return std::nullopt;
    return static_cast<std::size_t>(it - file.begin());
}

// The sample bytes as the formats define them, written out one byte at a time.
Bytes expectedSampleBytes(const AudioSample& sample, std::size_t bytesPerSample, bool bigEndian, uint32_t mask,
                          uint32_t flip) {
    Bytes out;
    for (std::size_t frame = 0; frame < sample.frameCount(); ++frame) {
        for (const auto& channel : sample.channels) {
            const uint32_t value = (static_cast<uint32_t>(channel[frame]) & mask) ^ flip;
            Bytes sampleBytes;
            for (std::size_t i = 0; i < bytesPerSample; ++i) {
                sampleBytes.push_back(static_cast<uint8_t>(value >> (24 - 8 * i)));
            }
            if (!bigEndian) std::reverse(sampleBytes.begin(), sampleBytes.end());
            out.insert(out.end(), sampleBytes.begin(), sampleBytes.end());
        }
    }
    return out;
}

// Long samples are written in blocks of frames: every frame, at every block boundary, for every
// sample size and both byte orders, must come out as the plain byte-by-byte definition says, and
// read back as its top bits.
TEST(AudioFileEncoder, WritesEveryFrameOfLongSamplesAtEverySampleSize) {
    const std::vector<std::pair<bool, int>> formats{
        {false, 8}, {false, 16}, {false, 24}, {false, 32}, {true, 1}, {true, 8}, {true, 12},
        {true, 16}, {true, 20}, {true, 24}, {true, 27}, {true, 32},
    };
    for (const auto& [aiff, bits] : formats) {
        for (std::size_t channels : {1u, 2u}) {
            for (std::size_t frames : {1023u, 1024u, 1025u, 2049u, 4097u}) {
                SCOPED_TRACE((aiff ? "AIFF " : "WAV ") + std::to_string(bits) + " bits, " + std::to_string(channels) +
                             " channel(s), " + std::to_string(frames) + " frames");
                const AudioSample sample = testSample(channels, frames);
                const Bytes file = aiff ? AudioFileEncoder::aiff(sample, AudioFileEncoder::AIFFEncoding::integerPCM(bits))
                                        : AudioFileEncoder::wav(sample, AudioFileEncoder::WAVEncoding::integerPCM(bits));
                const std::size_t bytesPerSample = static_cast<std::size_t>((bits + 7) / 8);
                const uint32_t mask = bits == 32 ? 0xFFFFFFFFu : ~((1u << (32 - bits)) - 1);
                const Bytes expected =
                    expectedSampleBytes(sample, bytesPerSample, aiff, mask, !aiff && bits == 8 ? 0x80000000u : 0);
                const std::size_t dataStart = findChunk(file, aiff ? "SSND" : "data").value() + (aiff ? 16 : 8);
                ASSERT_GE(file.size(), dataStart + expected.size());
                EXPECT_TRUE(
                    std::equal(expected.begin(), expected.end(), file.begin() + static_cast<std::ptrdiff_t>(dataStart)));
                EXPECT_EQ(file.size(), dataStart + expected.size() + (expected.size() & 1)) << "a pad byte, nothing else";
                EXPECT_EQ(AudioFileDecoder::decode(file).channels, keepTopBits(sample.channels, bits));
            }
        }
    }
}

// The loop chunk carries the given sample period, or 1e9 / rate rounded; a loop that does not fit
// the frames is not written.
TEST(AudioFileEncoder, WritesTheLoopWithItsSamplePeriodOnlyWhenItFits) {
    const AudioSample sample = testSample(1, 300, AudioLoop{100, 199});
    for (const auto& [period, expected] : {std::pair{std::optional<uint32_t>(22675u), 22675u}, {std::nullopt, 22676u}}) {
        const Bytes file = AudioFileEncoder::wav(sample, {16}, period);
        const std::size_t at = findChunk(file, "smpl").value() + 16;
        EXPECT_EQ(Bytes(file.begin() + at, file.begin() + at + 4), le(expected, 4));
    }
    for (const auto& loop : {std::optional<AudioLoop>{}, std::optional<AudioLoop>{AudioLoop{10, 300}},
                             std::optional<AudioLoop>{AudioLoop{5, 4}}}) {
        const AudioSample unfit = testSample(1, 300, loop);
        const Bytes wav = AudioFileEncoder::wav(unfit, {16});
        const Bytes aiff = AudioFileEncoder::aiff(unfit, {16});
        EXPECT_FALSE(findChunk(wav, "smpl"));
        EXPECT_FALSE(findChunk(aiff, "MARK") || findChunk(aiff, "INST"));
        EXPECT_FALSE(AudioFileDecoder::decode(wav).loop);
        EXPECT_FALSE(AudioFileDecoder::decode(aiff).loop);
    }
}

AudioSample withChannels(std::vector<std::vector<int32_t>> channels, int rate = 44100) {
    return {rate, std::move(channels), 0, false, std::nullopt};
}

TEST(AudioFileEncoder, RefusesWhatItCannotWrite) {
    using E = AudioCodecError;
    const std::vector<std::tuple<AudioSample, bool, int, E>> cases{
        {withChannels({{1}}), false, 12, E(E::UnsupportedOutputBitDepth{"WAV", 12})},
        {withChannels({{1}}), true, 0, E(E::UnsupportedOutputBitDepth{"AIFF", 0})},
        {withChannels({{1}}), true, 33, E(E::UnsupportedOutputBitDepth{"AIFF", 33})},
        {withChannels({}), false, 16, E(E::UnsupportedChannelCount{0})},
        {withChannels({{1}, {2}, {3}}), true, 16, E(E::UnsupportedChannelCount{3})},
        // Writing only the frames both channels have would silently drop samples.
        {withChannels({{1, 2, 3}, {1}}), false, 16, E(E::ChannelLengthMismatch{3, 1})},
        {withChannels({{}}), true, 16, E(E::NoFrames{})},
        {withChannels({{1}}, 0), false, 16, E(E::InvalidSampleRate{"0"})},
    };
    for (const auto& [sample, aiff, bits, expected] : cases) {
        EXPECT_EQ(thrown<AudioCodecError>([&sample = sample, aiff = aiff, bits = bits] {
                      aiff ? AudioFileEncoder::aiff(sample, {bits}) : AudioFileEncoder::wav(sample, {bits});
                  }),
                  expected);
    }
}

}  // namespace
}  // namespace k7
