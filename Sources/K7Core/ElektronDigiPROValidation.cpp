#include "ElektronDigiPROValidation.h"

#include "K7Core/DigiPRODecodingError.h"
#include "K7Core/DigiPROWaveform.h"

namespace k7::detail {

bool isValidDigiPROWaveformFrame(ByteView frame) {
    try {
        DigiPROWaveform::decode(frame);
        return true;
    } catch (const DigiPRODecodingError&) {
        return false;
    }
}

}  // namespace k7::detail
