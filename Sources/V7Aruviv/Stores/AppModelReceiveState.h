#pragma once

#include <QUuid>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "K7Core/Support/Bytes.h"
#include "V7Aruviv/Models/DigiPROFramedFragmentAssembler.h"

namespace k7 {

class SDSReceiveSession;

// What the receive coordinator keeps of the one running receive.
struct AppModelReceiveState {
    std::vector<Bytes> receiveFallbackMessages;  // complete messages kept by the receive
    DigiPROFramedFragmentAssembler digiPROFramedFragmentAssembler;
    std::shared_ptr<SDSReceiveSession> receiveSession;
    uint64_t receiveGeneration = 0;
    bool receiveStopPending = false;
    std::vector<QUuid> receiveCreatedItemIDs;
    std::vector<std::string> receiveFailures;
    int64_t receiveSequence = 1;  // running number of default received names
};

}  // namespace k7
