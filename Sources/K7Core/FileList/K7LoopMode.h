#pragma once

#include <cstdint>

namespace k7 {

// Whether a file-list row uses its audio file's loop; case for case the item's loop mode.
enum class K7LoopMode : uint8_t { useFileSetting, enabled, disabled };

}  // namespace k7
