#pragma once

// Files for import tests, written byte by byte from the published formats: RIFF/WAVE, AIFF, the
// legacy K7 file list, and SysEx messages.

#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "K7Core/Support/Bytes.h"
#include "Support/Model/TemporaryFolder.h"

namespace k7::test {

// A temporary folder that tests write their files into by name.
class FileFolder : public testing::TemporaryFolder {
public:
    std::filesystem::path operator/(const std::string& name) const { return path() / name; }

    std::filesystem::path write(const std::string& name, const Bytes& bytes) const {
        const auto file = path() / name;
        std::ofstream stream(file, std::ios::binary | std::ios::trunc);
        stream.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!stream) throw std::runtime_error("cannot write " + file.string());
        return file;
    }

    std::filesystem::path write(const std::string& name, const std::string& text) const {
        return write(name, Bytes(text.begin(), text.end()));
    }

    // A file of `size` bytes that takes no space: its size is all that is read before a refusal.
    std::filesystem::path sparse(const std::string& name, int64_t size) const {
        const auto file = write(name, Bytes{});
        std::filesystem::resize_file(file, static_cast<std::uintmax_t>(size));
        return file;
    }
};

inline Bytes concatenated(const std::vector<Bytes>& parts) {
    Bytes all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// A message of a manufacturer that is not Elektron.
inline Bytes genericSysEx(std::size_t bodyBytes = 4, uint8_t seed = 1) {
    Bytes message{0xF0, 0x43};
    for (std::size_t i = 0; i < bodyBytes; ++i) message.push_back(static_cast<uint8_t>((seed + i) & 0x7F));
    message.push_back(0xF7);
    return message;
}

// An Elektron product message: F0 00 20 3C <product> 00 <command> <body> F7.
inline Bytes elektronMessage(uint8_t product, uint8_t command = 0x52, std::size_t bodyBytes = 8) {
    Bytes message{0xF0, 0x00, 0x20, 0x3C, product, 0x00, command};
    for (std::size_t i = 0; i < bodyBytes; ++i) message.push_back(static_cast<uint8_t>(i & 0x7F));
    message.push_back(0xF7);
    return message;
}

// The Machinedrum's SPS-1UW sample name: F0 00 20 3C 02 <device> 73 <slot> <four characters> F7.
inline Bytes sps1UWName(const char (&name)[5], uint8_t slot = 0) {
    Bytes message{0xF0, 0x00, 0x20, 0x3C, 0x02, 0x00, 0x73, slot};
    for (int i = 0; i < 4; ++i) message.push_back(static_cast<uint8_t>(name[i]));
    message.push_back(0xF7);
    return message;
}

// The TM-1's speed query: F0 00 20 3C 04 00 01 F7.
inline Bytes turboQuery() { return {0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00, 0x01, 0xF7}; }

inline void appendText(Bytes& bytes, std::string_view text) { bytes.insert(bytes.end(), text.begin(), text.end()); }
inline void appendLE(Bytes& bytes, uint32_t value, int count) {
    for (int i = 0; i < count; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
inline void appendBE(Bytes& bytes, uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

struct Loop {
    uint32_t start;
    uint32_t end;  // inclusive
};

// 16-bit PCM WAV of `frames` frames per channel, with a `smpl` chunk when a loop is given.
inline Bytes wavFile(uint32_t frames, uint16_t channels = 1, uint32_t rate = 44100,
                     std::optional<Loop> loop = std::nullopt) {
    Bytes fmt;
    appendLE(fmt, 1, 2);
    appendLE(fmt, channels, 2);
    appendLE(fmt, rate, 4);
    appendLE(fmt, rate * channels * 2, 4);
    appendLE(fmt, channels * 2u, 2);
    appendLE(fmt, 16, 2);
    Bytes body;
    appendText(body, "WAVE");
    appendText(body, "fmt ");
    appendLE(body, static_cast<uint32_t>(fmt.size()), 4);
    body.insert(body.end(), fmt.begin(), fmt.end());
    appendText(body, "data");
    appendLE(body, frames * channels * 2, 4);
    for (uint32_t i = 0; i < frames * channels; ++i) appendLE(body, (i * 37) & 0xFFFF, 2);
    if (loop) {
        appendText(body, "smpl");
        appendLE(body, 36 + 24, 4);
        // Seven zero fields (manufacturer ... SMPTE offset), one loop, no sampler data; the loop's cue
        // point, type (forward), start, end, fraction and play count.
        for (uint32_t field : {0u, 0u, 0u, 0u, 0u, 0u, 0u, 1u, 0u, 0u, 0u, loop->start, loop->end, 0u, 0u}) {
            appendLE(body, field, 4);
        }
    }
    Bytes file;
    appendText(file, "RIFF");
    appendLE(file, static_cast<uint32_t>(body.size()), 4);
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

// 16-bit AIFF at 44100 Hz (or AIFC "NONE" when `aifc`), without markers.
inline Bytes aiffFile(uint32_t frames, uint16_t channels = 1, bool aifc = false) {
    Bytes body;
    appendText(body, aifc ? "AIFC" : "AIFF");
    if (aifc) {
        appendText(body, "FVER");
        appendBE(body, 4, 4);
        appendBE(body, 0xA2805140, 4);
    }
    appendText(body, "COMM");
    Bytes comm;
    appendBE(comm, channels, 2);
    appendBE(comm, frames, 4);
    appendBE(comm, 16, 2);
    // 44100 as an 80-bit extended number.
    for (uint8_t byte : {0x40, 0x0E, 0xAC, 0x44, 0, 0, 0, 0, 0, 0}) comm.push_back(byte);
    if (aifc) {
        appendText(comm, "NONE");
        comm.push_back(0);  // empty Pascal string, padded
        comm.push_back(0);
    }
    appendBE(body, static_cast<uint32_t>(comm.size()), 4);
    body.insert(body.end(), comm.begin(), comm.end());
    appendText(body, "SSND");
    appendBE(body, 8 + frames * channels * 2, 4);
    appendBE(body, 0, 4);
    appendBE(body, 0, 4);
    for (uint32_t i = 0; i < frames * channels; ++i) appendBE(body, (i * 11) & 0xFFFF, 2);
    Bytes file;
    appendText(file, "FORM");
    appendBE(file, static_cast<uint32_t>(body.size()), 4);
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

struct ListRow {
    std::string path;  // relative to the list's folder, or absolute
    int loopMode = 0;    // 0 the file's, 1 on, 2 off
    int stereoMode = 0;  // 0 both, 1 left, 2 right
};

// A legacy K7 file list: NUL-ended fields "K7FILELIST", "0", the sample position, then three per row.
inline Bytes fileList(uint32_t samplePosition, const std::vector<ListRow>& rows) {
    Bytes list;
    const auto field = [&list](const std::string& text) {
        appendText(list, text);
        list.push_back(0);
    };
    field("K7FILELIST");
    field("0");
    field(std::to_string(samplePosition));
    for (const auto& row : rows) {
        field(row.path);
        field(std::to_string(row.loopMode));
        field(std::to_string(row.stereoMode));
    }
    return list;
}

}  // namespace k7::test
