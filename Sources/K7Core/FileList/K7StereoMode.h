#pragma once

#include <cstdint>

namespace k7 {

// How a file-list row makes one channel of stereo audio; case for case the item's stereo mode.
enum class K7StereoMode : uint8_t { bothChannels, leftChannel, rightChannel };

}  // namespace k7
