#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "K7Core/SysEx/SysExFileCodec.h"

// A parsed file must join back to its messages and account for every byte.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    try {
        const auto result = k7::SysExFileCodec::parse(k7::ByteView(data, size), 256, 64);
        if (result.wireByteCount + result.containerSeparatorByteCount != size) std::abort();
        for (const auto& message : result.messages) {
            if (!k7::isFramedSysEx(message)) std::abort();
        }
        const auto reparsed = k7::SysExFileCodec::parse(k7::SysExFileCodec::join(result.messages), 256, 64);
        if (reparsed.messages != result.messages) std::abort();
    } catch (const k7::SysExParseError& error) {
        if (error.message().empty()) std::abort();
    }
    return 0;
}
