#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "K7Core/Elektron/ElektronSysEx.h"
#include "K7Core/Turbo/TurboFrame.h"
#include "K7Core/Turbo/TurboNegotiation.h"

// Whatever decodes must encode back to the same bytes, and the negotiation must take any frame.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const k7::ByteView frame(data, size);
    try {
        const auto message = k7::TurboFrame::decode(frame);
        const auto encoded = k7::TurboFrame::encode(message);
        if (!std::equal(encoded.begin(), encoded.end(), frame.begin(), frame.end())) std::abort();
    } catch (const k7::TurboFrameError& error) {
        if (error.describe().empty()) std::abort();
    }
    (void)k7::ElektronSysEx::validatedFamily(frame);
    const auto transition = k7::TurboNegotiation::reduce(k7::TurboNegotiation::WaitingForResponse{k7::TurboSpeed::x4},
                                                         k7::TurboNegotiation::ReceivedFrame{k7::Bytes(frame.begin(), frame.end())});
    (void)transition;
    return 0;
}
