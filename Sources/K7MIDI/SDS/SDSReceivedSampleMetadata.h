#pragma once

#include <optional>

#include "K7Core/SDS/SDSDumpHeaderMessage.h"
#include "K7Core/SDS/SDSSampleNameMessage.h"
#include "K7Core/SPS1UW/SPS1UWFileNameMessage.h"

namespace k7 {

// What a receive session learnt about one dump whose header it accepted, complete or not.
struct SDSReceivedSampleMetadata {
    SDSDumpHeaderMessage header;
    std::optional<SDSSampleNameMessage> sampleName;
    std::optional<SPS1UWFileNameMessage> sps1UWName;

    bool operator==(const SDSReceivedSampleMetadata&) const = default;
};

}  // namespace k7
