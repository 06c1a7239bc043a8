#pragma once

namespace k7 {

// How a stereo source becomes one channel.
enum class AudioChannelSelection { mix, left, right };

}  // namespace k7
