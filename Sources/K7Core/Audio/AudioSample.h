#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "K7Core/Audio/AudioChannelSelection.h"
#include "K7Core/Audio/AudioLoop.h"
#include "K7Core/Audio/AudioLoopSelection.h"

namespace k7 {

// Decoded audio: one or two channels of samples scaled to the full signed 32-bit range.
struct AudioSample {
    int sampleRate = 0;
    std::vector<std::vector<int32_t>> channels;
    int sourceBitDepth = 0;
    bool sourceWasFloatingPoint = false;
    std::optional<AudioLoop> loop;

    std::size_t channelCount() const { return channels.size(); }
    // The frames every channel has.
    std::size_t frameCount() const;

    // sourceFile: the loop when it lies inside the frames; forceOn: that loop, or the whole sample
    // when there is none; forceOff: none. A loop that does not fit the frames counts as no loop,
    // so a caller cutting the sample to the loop never reads past the samples.
    std::optional<AudioLoop> resolvedLoop(AudioLoopSelection selection) const;

    // One channel. With two, mix is (left + right) / 2 computed in 64 bits and truncated toward
    // zero, over the frames both channels have; a single channel is returned for every selection.
    std::vector<int32_t> mono(AudioChannelSelection selection) const;

    bool operator==(const AudioSample&) const = default;
};

}  // namespace k7
