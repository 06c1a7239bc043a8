#include "K7Core/SPS1UW/SPS1UWFileName.h"

#include "K7Core/SPS1UW/SPS1UWFileNameError.h"

namespace k7 {

namespace {

std::string_view lastPathComponent(std::string_view path) {
    while (!path.empty() && path.back() == '/') path.remove_suffix(1);
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view withoutExtension(std::string_view name) {
    const auto dot = name.rfind('.');
    // A leading dot names a hidden file, not an extension.
    return (dot == std::string_view::npos || dot == 0) ? name : name.substr(0, dot);
}

// Length of the UTF-8 sequence starting at `text[i]`, or 1 when the bytes are not valid UTF-8
// (each invalid byte then stands for one character).
std::size_t scalarLength(std::string_view text, std::size_t i) {
    const auto lead = static_cast<uint8_t>(text[i]);
    std::size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4;
    else return 1;
    if (i + length > text.size()) return 1;
    for (std::size_t k = 1; k < length; ++k) {
        if ((static_cast<uint8_t>(text[i + k]) & 0xC0) != 0x80) return 1;
    }
    return length;
}

}  // namespace

SPS1UWFileName SPS1UWFileName::normalizing(std::string_view displayName) {
    const std::string_view stem = withoutExtension(lastPathComponent(displayName));
    SPS1UWFileName name;
    name.bytes_.fill(' ');
    std::size_t written = 0;
    for (std::size_t i = 0; i < stem.size() && written < byteCount;) {
        const auto byte = static_cast<uint8_t>(stem[i]);
        if (byte >= 0x20 && byte <= 0x7E) {
            name.bytes_[written++] = byte;
            ++i;
        } else {
            name.bytes_[written++] = '_';
            i += byte < 0x80 ? 1 : scalarLength(stem, i);
        }
    }
    return name;
}

SPS1UWFileName::SPS1UWFileName(ByteView bytes) {
    if (bytes.size() != byteCount) {
        throw SPS1UWFileNameError(SPS1UWFileNameError::InvalidLength{byteCount, bytes.size()});
    }
    for (std::size_t i = 0; i < byteCount; ++i) {
        if (bytes[i] & 0x80) throw SPS1UWFileNameError(SPS1UWFileNameError::InvalidNameByte{i, bytes[i]});
        bytes_[i] = bytes[i];
    }
}

}  // namespace k7
