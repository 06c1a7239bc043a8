#include "K7Core/Audio/AudioSample.h"

#include <algorithm>

namespace k7 {

std::size_t AudioSample::frameCount() const {
    if (channels.empty()) return 0;
    std::size_t frames = channels.front().size();
    for (const auto& channel : channels) frames = std::min(frames, channel.size());
    return frames;
}

std::optional<AudioLoop> AudioSample::resolvedLoop(AudioLoopSelection selection) const {
    const std::size_t frames = frameCount();
    const std::optional<AudioLoop> usable = (loop && loop->fits(frames)) ? loop : std::nullopt;
    switch (selection) {
        case AudioLoopSelection::sourceFile: return usable;
        case AudioLoopSelection::forceOn:
            if (usable) return usable;
            if (frames == 0) return std::nullopt;
            return AudioLoop{0, frames - 1};
        case AudioLoopSelection::forceOff: return std::nullopt;
    }
    return std::nullopt;
}

std::vector<int32_t> AudioSample::mono(AudioChannelSelection selection) const {
    if (channels.empty()) return {};
    if (channels.size() == 1) return channels.front();
    const auto& left = channels[0];
    const auto& right = channels[1];
    switch (selection) {
        case AudioChannelSelection::left: return left;
        case AudioChannelSelection::right: return right;
        case AudioChannelSelection::mix: break;
    }
    const std::size_t frames = std::min(left.size(), right.size());
    std::vector<int32_t> mixed(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        mixed[i] = static_cast<int32_t>((static_cast<int64_t>(left[i]) + right[i]) / 2);
    }
    return mixed;
}

}  // namespace k7
