#pragma once

// Private seam between the Elektron classifier and the DigiPRO waveform decoder.

#include "K7Core/Support/Bytes.h"

namespace k7::detail {

bool isValidDigiPROWaveformFrame(ByteView frame);

}  // namespace k7::detail
