#pragma once

#include <cstdint>
#include <filesystem>

#include "K7Core/FileList/K7Project.h"
#include "K7Core/FileList/K7ProjectCodecError.h"
#include "K7Core/FileList/K7ProjectFormat.h"
#include "K7Core/Support/Bytes.h"

namespace k7 {

// Reads and writes K7 file lists. Rows store paths relative to the list's folder when the file lies
// below it (and the path has no ".." segment), else absolute. Paths must be UTF-8 without control
// characters. Every operation throws K7ProjectCodecError.
class K7ProjectCodec {
public:
    struct Limits {
        int64_t maximumTotalBytes;
        int64_t maximumRows;
        int64_t maximumPathBytes;  // of a path as stored in the list

        static constexpr Limits defaults() { return {1048576, 10000, 4096}; }
        bool operator==(const Limits&) const = default;
    };

    // Which format the data is in; cheap for data that is neither.
    static K7ProjectFormat sniffFormat(ByteView data, const Limits& limits = Limits::defaults());

    // Relative row paths are resolved against the folder of `projectFileURL`.
    static K7Project decodeSniffed(ByteView data, const std::filesystem::path& projectFileURL,
                                   const Limits& limits = Limits::defaults());

    static Bytes encode(const K7Project& project, K7ProjectFormat format, const std::filesystem::path& projectFileURL,
                        const Limits& limits = Limits::defaults());
};

}  // namespace k7
