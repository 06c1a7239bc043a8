#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <variant>

#include "K7Core/Support/K7Error.h"

namespace k7 {

// Rows are counted from 0 in payloads and from 1 in user texts.
namespace k7_project_codec_error {
struct InvalidLimits {
    std::string field;
    int64_t value;
    bool operator==(const InvalidLimits&) const = default;
};
struct UnrecognizedFormat {
    bool operator==(const UnrecognizedFormat&) const = default;
};
struct TooManyBytes {
    int64_t actual;
    int64_t maximum;
    bool operator==(const TooManyBytes&) const = default;
};
struct TooManyRows {
    int64_t actual;
    int64_t maximum;
    bool operator==(const TooManyRows&) const = default;
};
struct PathTooLong {
    std::size_t row;
    int64_t byteCount;
    int64_t maximum;
    bool operator==(const PathTooLong&) const = default;
};
// Empty, a folder, or (when written) not absolute.
struct InvalidItemFileURL {
    std::size_t row;
    bool operator==(const InvalidItemFileURL&) const = default;
};
// A control character, NUL included.
struct UnsafePath {
    std::size_t row;
    uint32_t character;
    bool operator==(const UnsafePath&) const = default;
};
struct InvalidXMLCharacter {
    std::size_t row;
    uint32_t character;
    bool operator==(const InvalidXMLCharacter&) const = default;
};
struct InvalidUTF8 {
    std::size_t row;
    std::size_t offset;  // within the path
    bool operator==(const InvalidUTF8&) const = default;
};
// The list's own location is not an absolute path to a file.
struct InvalidProjectFileURL {
    bool operator==(const InvalidProjectFileURL&) const = default;
};
struct MalformedXML {
    std::string reason;
    std::size_t offset;
    bool operator==(const MalformedXML&) const = default;
};
struct MalformedPropertyList {
    std::string reason;
    bool operator==(const MalformedPropertyList&) const = default;
};
struct UnsupportedVersion {
    std::string version;
    bool operator==(const UnsupportedVersion&) const = default;
};
struct MalformedLegacyList {
    std::string reason;
    std::size_t offset;
    bool operator==(const MalformedLegacyList&) const = default;
};
}  // namespace k7_project_codec_error

using K7ProjectCodecErrorCase =
    std::variant<k7_project_codec_error::InvalidLimits, k7_project_codec_error::UnrecognizedFormat,
                 k7_project_codec_error::TooManyBytes, k7_project_codec_error::TooManyRows,
                 k7_project_codec_error::PathTooLong, k7_project_codec_error::InvalidItemFileURL,
                 k7_project_codec_error::UnsafePath, k7_project_codec_error::InvalidXMLCharacter,
                 k7_project_codec_error::InvalidUTF8, k7_project_codec_error::InvalidProjectFileURL,
                 k7_project_codec_error::MalformedXML, k7_project_codec_error::MalformedPropertyList,
                 k7_project_codec_error::UnsupportedVersion, k7_project_codec_error::MalformedLegacyList>;

class K7ProjectCodecError : public K7Error<K7ProjectCodecError, K7ProjectCodecErrorCase> {
public:
    using K7Error::K7Error;
    using InvalidLimits = k7_project_codec_error::InvalidLimits;
    using UnrecognizedFormat = k7_project_codec_error::UnrecognizedFormat;
    using TooManyBytes = k7_project_codec_error::TooManyBytes;
    using TooManyRows = k7_project_codec_error::TooManyRows;
    using PathTooLong = k7_project_codec_error::PathTooLong;
    using InvalidItemFileURL = k7_project_codec_error::InvalidItemFileURL;
    using UnsafePath = k7_project_codec_error::UnsafePath;
    using InvalidXMLCharacter = k7_project_codec_error::InvalidXMLCharacter;
    using InvalidUTF8 = k7_project_codec_error::InvalidUTF8;
    using InvalidProjectFileURL = k7_project_codec_error::InvalidProjectFileURL;
    using MalformedXML = k7_project_codec_error::MalformedXML;
    using MalformedPropertyList = k7_project_codec_error::MalformedPropertyList;
    using UnsupportedVersion = k7_project_codec_error::UnsupportedVersion;
    using MalformedLegacyList = k7_project_codec_error::MalformedLegacyList;

    static std::string messageFor(const Case& errorCase);
    static std::string describeCase(const Case& errorCase);
};

}  // namespace k7
