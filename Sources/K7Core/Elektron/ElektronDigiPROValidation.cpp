#include "K7Core/Elektron/ElektronDigiPROValidation.h"

#include "K7Core/DigiPRO/DigiPRODecodingError.h"
#include "K7Core/DigiPRO/DigiPROWaveform.h"

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
