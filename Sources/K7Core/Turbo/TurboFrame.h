#pragma once

#include <cstddef>

#include "K7Core/Support/Bytes.h"
#include "K7Core/Turbo/TurboFrameError.h"
#include "K7Core/Turbo/TurboMessage.h"
#include "K7Core/Turbo/TurboSpeed.h"

namespace k7 {

// The TM-1 Turbo frames: query F0 00 20 3C 04 00 01 F7, response ... 02 ss F7, limit ... 03 ss F7.
struct TurboFrame {
    static constexpr std::size_t queryByteCount = 8;
    static constexpr std::size_t speedFrameByteCount = 9;

    static const Bytes& query();
    static Bytes response(TurboSpeed speed);
    static Bytes limit(TurboSpeed speed);
    static Bytes encode(const TurboMessage& message);

    // Throws TurboFrameError for anything but a well-formed query, response or limit frame.
    static TurboMessage decode(ByteView frame);
};

}  // namespace k7
