// Decodes arbitrary bytes as a file list. Whatever decodes must encode again and decode to the same
// rows, in the legacy format always and in the XML format unless a path holds what XML cannot carry
// or a resolved ".." path grows past the path limit.

#include <cstdint>
#include <cstdlib>

#include "K7Core/FileList/K7ProjectCodec.h"

namespace {

const std::filesystem::path listFile = "/music/lists/list.k7";

bool allowedOnReencode(const k7::K7ProjectCodecError& error) {
    return error.is<k7::K7ProjectCodecError::InvalidXMLCharacter>() ||
           error.is<k7::K7ProjectCodecError::PathTooLong>() || error.is<k7::K7ProjectCodecError::TooManyBytes>();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const k7::ByteView input(data, size);
    k7::K7Project project;
    try {
        (void)k7::K7ProjectCodec::sniffFormat(input);
        project = k7::K7ProjectCodec::decodeSniffed(input, listFile);
    } catch (const k7::K7ProjectCodecError&) {
        return 0;
    }
    for (auto format : {k7::K7ProjectFormat::legacyV0, k7::K7ProjectFormat::macOSXMLPropertyListV1}) {
        k7::Bytes encoded;
        try {
            encoded = k7::K7ProjectCodec::encode(project, format, listFile);
        } catch (const k7::K7ProjectCodecError& error) {
            if (!allowedOnReencode(error)) std::abort();
            continue;
        }
        if (k7::K7ProjectCodec::decodeSniffed(encoded, listFile) != project) std::abort();
    }
    return 0;
}
