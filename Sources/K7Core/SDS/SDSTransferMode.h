#pragma once

#include <string>

namespace k7 {

// Closed loop (ACK/NAK/WAIT with the device) or open loop (paced, nothing awaited).
enum class SDSTransferMode { handshake, openLoop };

inline std::string caseName(SDSTransferMode mode) {
    return mode == SDSTransferMode::handshake ? "handshake" : "openLoop";
}

}  // namespace k7
