#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "V7Aruviv/Models/AppPreferences.h"

// Whatever the stored bytes, decoding never fails loudly, and what decodes survives a round trip.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const auto decoded = k7::AppPreferences::decodeJSON(k7::ByteView(data, size));
    if (decoded && k7::AppPreferences::decodeJSON(decoded->encodeJSON()) != decoded) std::abort();
    return 0;
}
