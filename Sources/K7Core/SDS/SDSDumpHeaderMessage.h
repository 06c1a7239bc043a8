#pragma once

#include <cstdint>
#include <optional>
#include <variant>

#include "K7Core/SDS/SDSDumpHeader.h"
#include "K7Core/SDS/SDSExtendedDumpHeader.h"
#include "K7Core/Support/Bytes.h"

namespace k7 {

// A dump header of either kind, read through the fields both share.
class SDSDumpHeaderMessage {
public:
    using Header = std::variant<SDSDumpHeader, SDSExtendedDumpHeader>;

    SDSDumpHeaderMessage(SDSDumpHeader header) : header_(header) {}
    SDSDumpHeaderMessage(SDSExtendedDumpHeader header) : header_(header) {}

    const Header& header() const { return header_; }
    const SDSDumpHeader* classic() const { return std::get_if<SDSDumpHeader>(&header_); }
    const SDSExtendedDumpHeader* extended() const { return std::get_if<SDSExtendedDumpHeader>(&header_); }

    uint8_t deviceID() const;
    uint16_t sampleNumber() const;
    uint8_t significantBits() const;
    // Only the classic header carries a period.
    std::optional<uint32_t> samplePeriodNanoseconds() const;
    // The sample words the data packets carry: the header's sample length.
    int64_t announcedSampleWords() const;

    Bytes encode() const;
    std::size_t encodedByteCount() const;

    // True for F0 7E dd 01 and F0 7E dd 05 05 of either header's exact length, valid or not.
    static bool hasHeaderShape(ByteView frame);
    // Either header; throws SDSError for anything else.
    static SDSDumpHeaderMessage decode(ByteView frame);

    bool operator==(const SDSDumpHeaderMessage&) const = default;

private:
    Header header_;
};

}  // namespace k7
