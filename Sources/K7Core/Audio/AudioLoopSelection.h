#pragma once

namespace k7 {

// Whether a source's loop is used: as the file says, forced on, or forced off.
enum class AudioLoopSelection { sourceFile, forceOn, forceOff };

}  // namespace k7
