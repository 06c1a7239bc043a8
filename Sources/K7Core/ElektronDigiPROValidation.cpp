#include "ElektronDigiPROValidation.h"

#include <algorithm>

#include "K7Core/ElektronSysEx.h"

namespace k7::detail {

// Until the DigiPRO decoder exists, a waveform is judged by framing, prefix and its fixed length.
bool isValidDigiPROWaveformFrame(ByteView frame) {
    constexpr std::size_t digiPROFrameByteCount = 7027;
    const auto& prefix = ElektronSysEx::digiPROWaveformPrefix;
    return frame.size() == digiPROFrameByteCount && isFramedSysEx(frame) &&
           std::equal(prefix.begin(), prefix.end(), frame.begin());
}

}  // namespace k7::detail
