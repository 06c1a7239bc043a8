#pragma once

#include "K7Core/SDS/SDSSenderStateMachine.h"

namespace k7 {

// An SDS sender made on the send queue, ready to start on the main thread.
struct PreparedSDSTransfer {
    SDSSenderStateMachine sender;
};

}  // namespace k7
