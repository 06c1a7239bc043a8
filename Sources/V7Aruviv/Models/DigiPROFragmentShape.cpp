#include "V7Aruviv/Models/DigiPROFragmentShape.h"

#include <algorithm>

#include "K7Core/DigiPRO/DigiPROWaveform.h"
#include "K7Core/Elektron/ElektronSysEx.h"

namespace k7 {

bool DigiPROFragmentShape::isDigiPRO(ByteView message) {
    const auto& prefix = ElektronSysEx::digiPROWaveformPrefix;
    return message.size() > prefix.size() && message.front() == 0xF0 && message.back() == 0xF7 &&
           std::equal(prefix.begin(), prefix.end(), message.begin());
}

bool DigiPROFragmentShape::isElektron(ByteView message) {
    const auto& id = ElektronSysEx::manufacturerID;
    return message.size() >= 4 && message[0] == 0xF0 && std::equal(id.begin(), id.end(), message.begin() + 1);
}

bool DigiPROFragmentShape::isUniversal(ByteView message) {
    return message.size() >= 4 && message.front() == 0xF0 && message.back() == 0xF7 &&
           (message[1] == 0x7E || message[1] == 0x7F);
}

std::optional<int> DigiPROFragmentShape::position(ByteView message) {
    if (message.size() <= DigiPROWaveform::positionIndex) return std::nullopt;
    const int position = message[DigiPROWaveform::positionIndex];
    if (position > DigiPROWaveform::maximumPosition) return std::nullopt;
    return position;
}

}  // namespace k7
