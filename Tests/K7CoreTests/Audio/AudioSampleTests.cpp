#include <gtest/gtest.h>

#include <climits>

#include "K7Core/Audio/AudioSample.h"

namespace k7 {
namespace {

AudioSample stereo(std::vector<int32_t> left, std::vector<int32_t> right) {
    AudioSample sample;
    sample.sampleRate = 44100;
    sample.sourceBitDepth = 16;
    sample.channels = {std::move(left), std::move(right)};
    return sample;
}

TEST(AudioSampleMono, MixIsTruncatedHalfSumWithoutOverflowAndStopsAtTheShorterChannel) {
    const AudioSample sample = stereo({INT32_MAX, INT32_MIN, -1, 1, -3, 7, INT32_MIN},
                                      {INT32_MAX, INT32_MIN, 0, 0, 0, -2, INT32_MAX});
    // -1/2 and -3/2 truncate toward zero, not downward; the extremes do not wrap.
    EXPECT_EQ(sample.mono(AudioChannelSelection::mix),
              (std::vector<int32_t>{INT32_MAX, INT32_MIN, 0, 0, -1, 2, 0}));
    const AudioSample uneven = stereo({10, 20, 30}, {2, 4});
    EXPECT_EQ(uneven.mono(AudioChannelSelection::mix), (std::vector<int32_t>{6, 12}));
    EXPECT_EQ(uneven.mono(AudioChannelSelection::left), (std::vector<int32_t>{10, 20, 30}));
    EXPECT_EQ(uneven.mono(AudioChannelSelection::right), (std::vector<int32_t>{2, 4}));
    EXPECT_EQ(uneven.frameCount(), 2u);

    AudioSample mono;
    mono.channels = {{5, -5}};
    for (auto selection : {AudioChannelSelection::mix, AudioChannelSelection::left, AudioChannelSelection::right}) {
        EXPECT_EQ(mono.mono(selection), (std::vector<int32_t>{5, -5}));
    }
    EXPECT_TRUE(AudioSample{}.mono(AudioChannelSelection::mix).empty());
}

// A loop that does not fit must never let a caller cut past the samples.
TEST(AudioSampleResolvedLoop, KeepsOnlyLoopsInsideTheFrames) {
    using L = AudioLoopSelection;
    const std::vector<std::tuple<std::size_t, std::optional<AudioLoop>, L, std::optional<AudioLoop>>> cases{
        {300, AudioLoop{100, 199}, L::sourceFile, AudioLoop{100, 199}},
        {300, AudioLoop{100, 199}, L::forceOn, AudioLoop{100, 199}},
        {300, std::nullopt, L::forceOn, AudioLoop{0, 299}},
        {300, AudioLoop{100, 199}, L::forceOff, std::nullopt},
        {1, AudioLoop{0, 0}, L::sourceFile, AudioLoop{0, 0}},
        {300, AudioLoop{100, 300}, L::sourceFile, std::nullopt},
        {300, AudioLoop{200, 100}, L::sourceFile, std::nullopt},
        {300, AudioLoop{0, 5000}, L::forceOn, AudioLoop{0, 299}},
        {0, std::nullopt, L::forceOn, std::nullopt},
    };
    for (const auto& [frames, fileLoop, selection, expected] : cases) {
        AudioSample sample;
        sample.channels = {std::vector<int32_t>(frames)};
        sample.loop = fileLoop;
        EXPECT_EQ(sample.resolvedLoop(selection), expected) << frames << " frames, selection " << int(selection);
    }
}

}  // namespace
}  // namespace k7
