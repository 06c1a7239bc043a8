#pragma once

#include <string>

namespace k7 {

// What a received SDS dump is turned into: the dump's own bytes, decoded audio for a WAV or AIFF
// file, or nothing (the bytes stay plain SysEx).
enum class SDSReceiveFormat { rawSDS, wav, aiff, none };

inline std::string caseName(SDSReceiveFormat format) {
    switch (format) {
        case SDSReceiveFormat::rawSDS: return "rawSDS";
        case SDSReceiveFormat::wav: return "wav";
        case SDSReceiveFormat::aiff: return "aiff";
        case SDSReceiveFormat::none: return "none";
    }
    return "";
}

}  // namespace k7
