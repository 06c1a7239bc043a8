#include <gtest/gtest.h>

#include <climits>

#include "K7Core/AudioSample.h"

namespace k7 {
namespace {

AudioSample stereo(std::vector<int32_t> left, std::vector<int32_t> right) {
    AudioSample sample;
    sample.sampleRate = 44100;
    sample.sourceBitDepth = 16;
    sample.channels = {std::move(left), std::move(right)};
    return sample;
}

TEST(AudioSampleMono, MixIsTruncatedHalfSumWithoutOverflow) {
    const AudioSample sample = stereo({INT32_MAX, INT32_MIN, -1, 1, -3, 7, INT32_MIN},
                                      {INT32_MAX, INT32_MIN, 0, 0, 0, -2, INT32_MAX});
    // -1/2 and -3/2 truncate toward zero, not downward; the extremes do not wrap.
    EXPECT_EQ(sample.mono(AudioChannelSelection::mix),
              (std::vector<int32_t>{INT32_MAX, INT32_MIN, 0, 0, -1, 2, 0}));
}

TEST(AudioSampleMono, SelectionsPickChannelsAndMixStopsAtShorterChannel) {
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

struct LoopCase {
    const char* name;
    friend void PrintTo(const LoopCase& c, std::ostream* os) { *os << c.name; }
    std::size_t frames;
    std::optional<AudioLoop> fileLoop;
    AudioLoopSelection selection;
    std::optional<AudioLoop> expected;
};

class AudioSampleResolvedLoop : public ::testing::TestWithParam<LoopCase> {};

TEST_P(AudioSampleResolvedLoop, Resolves) {
    const auto& c = GetParam();
    AudioSample sample;
    sample.channels = {std::vector<int32_t>(c.frames)};
    sample.loop = c.fileLoop;
    EXPECT_EQ(sample.resolvedLoop(c.selection), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AudioSampleResolvedLoop,
    ::testing::Values(
        LoopCase{"fileLoopKept", 300, AudioLoop{100, 199}, AudioLoopSelection::sourceFile, AudioLoop{100, 199}},
        LoopCase{"noFileLoop", 300, std::nullopt, AudioLoopSelection::sourceFile, std::nullopt},
        LoopCase{"forcedOnKeepsFileLoop", 300, AudioLoop{100, 199}, AudioLoopSelection::forceOn, AudioLoop{100, 199}},
        LoopCase{"forcedOnWholeSample", 300, std::nullopt, AudioLoopSelection::forceOn, AudioLoop{0, 299}},
        LoopCase{"forcedOff", 300, AudioLoop{100, 199}, AudioLoopSelection::forceOff, std::nullopt},
        LoopCase{"singleFrameLoop", 1, AudioLoop{0, 0}, AudioLoopSelection::sourceFile, AudioLoop{0, 0}},
        // A loop that does not fit must never let a caller cut past the samples.
        LoopCase{"endPastFrames", 300, AudioLoop{100, 300}, AudioLoopSelection::sourceFile, std::nullopt},
        LoopCase{"reversed", 300, AudioLoop{200, 100}, AudioLoopSelection::sourceFile, std::nullopt},
        LoopCase{"badLoopForcedOn", 300, AudioLoop{0, 5000}, AudioLoopSelection::forceOn, AudioLoop{0, 299}},
        LoopCase{"emptyForcedOn", 0, std::nullopt, AudioLoopSelection::forceOn, std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace k7
