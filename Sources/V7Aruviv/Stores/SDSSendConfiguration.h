#pragma once

#include <optional>

#include "K7Core/SDS/SDSSenderConfiguration.h"
#include "K7Core/SDS/SDSTransferMode.h"
#include "V7Aruviv/Stores/SendOptions.h"

namespace k7 {

// The sender configuration of every SDS send and every SDS file: the handshake when the options
// (or the override) ask for it, else open loop; two resends per message group; with the handshake
// a 2 s wait for the header's answer, 0.5 s for a packet's and a 5 s WAIT timeout; the options'
// open-loop delay; no end-of-file message; replies from the device, the broadcast ID or device 0
// accepted.
SDSSenderConfiguration sdsSendConfiguration(const SendOptions& options,
                                            std::optional<SDSTransferMode> modeOverride = std::nullopt);

}  // namespace k7
