// The legacy file-list format: UTF-8 fields, each ended by a NUL byte.
//
//   "K7FILELIST"  signature
//   "0"           format version
//   "<n>"         the next sample position, decimal 0...4294967295 without leading zeros
//   then per row: "<path>" "<loop mode>" "<stereo mode>"
//
// A path is relative to the list's folder or absolute (starting with "/"). The loop mode is 0 (use
// the file's setting), 1 (enabled) or 2 (disabled); the stereo mode is 0 (both channels), 1 (left)
// or 2 (right). The data ends with the NUL of the last field.

#include <algorithm>
#include <array>
#include <string_view>

#include "K7Core/FileList/K7ProjectFormats.h"

namespace k7::detail {

namespace {

using Error = K7ProjectCodecError;

constexpr std::string_view signature{"K7FILELIST\0", 11};
constexpr std::string_view version = "0";

struct Field {
    std::string_view text;
    std::size_t offset;
};

class FieldReader {
public:
    explicit FieldReader(ByteView data)
        : text_(reinterpret_cast<const char*>(data.data()), data.size()), offset_(signature.size()) {}

    bool atEnd() const { return offset_ == text_.size(); }

    Field next(std::string_view what) {
        if (atEnd()) throw Error(Error::MalformedLegacyList{"the " + std::string(what) + " is missing", offset_});
        const auto end = text_.find('\0', offset_);
        if (end == std::string_view::npos) {
            throw Error(Error::MalformedLegacyList{"the " + std::string(what) + " has no terminating NUL", offset_});
        }
        Field field{text_.substr(offset_, end - offset_), offset_};
        offset_ = end + 1;
        return field;
    }

    std::size_t remainingFieldCount() const {
        return static_cast<std::size_t>(std::count(text_.begin() + static_cast<std::ptrdiff_t>(offset_), text_.end(), '\0'));
    }

private:
    std::string_view text_;
    std::size_t offset_;
};

bool isDecimal(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

void readVersion(FieldReader& reader) {
    const auto field = reader.next("format version");
    if (field.text == version) return;
    if (isDecimal(field.text) && field.text.size() <= 9) throw Error(Error::UnsupportedVersion{std::string(field.text)});
    throw Error(Error::MalformedLegacyList{"the format version is not a number", field.offset});
}

uint32_t readSamplePosition(FieldReader& reader) {
    const auto field = reader.next("sample position");
    if (!isDecimal(field.text) || field.text.size() > 10 || (field.text.size() > 1 && field.text[0] == '0')) {
        throw Error(Error::MalformedLegacyList{"the sample position is not a decimal number", field.offset});
    }
    uint64_t value = 0;
    for (char c : field.text) value = value * 10 + static_cast<uint64_t>(c - '0');
    if (value > UINT32_MAX) {
        throw Error(Error::MalformedLegacyList{"the sample position is beyond 4294967295", field.offset});
    }
    return static_cast<uint32_t>(value);
}

template <typename Mode>
Mode readMode(FieldReader& reader, std::string_view what) {
    const auto field = reader.next(what);
    if (field.text.size() != 1 || field.text[0] < '0' || field.text[0] > '2') {
        throw Error(Error::MalformedLegacyList{"the " + std::string(what) + " is not 0, 1 or 2", field.offset});
    }
    return static_cast<Mode>(field.text[0] - '0');
}

void appendField(Bytes& out, std::string_view text) {
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
}

}  // namespace

bool hasLegacyK7Signature(ByteView data) {
    return data.size() >= signature.size() && std::equal(signature.begin(), signature.end(), data.begin());
}

void sniffLegacyK7Project(ByteView data) {
    FieldReader reader(data);
    readVersion(reader);
}

K7StoredProject decodeLegacyK7Project(ByteView data, const K7ProjectCodec::Limits& limits) {
    FieldReader reader(data);
    readVersion(reader);
    K7StoredProject project;
    project.samplePosition = readSamplePosition(reader);

    // Counted before anything is kept, so an oversized list costs no memory.
    const std::size_t rowCount = (reader.remainingFieldCount() + 2) / 3;
    if (rowCount > static_cast<uint64_t>(limits.maximumRows)) {
        throw Error(Error::TooManyRows{static_cast<int64_t>(rowCount), limits.maximumRows});
    }
    project.rows.reserve(rowCount);
    while (!reader.atEnd()) {
        const auto path = reader.next("path");
        const auto loopMode = readMode<K7LoopMode>(reader, "loop mode");
        const auto stereoMode = readMode<K7StereoMode>(reader, "stereo mode");
        project.rows.push_back({std::string(path.text), loopMode, stereoMode});
    }
    return project;
}

Bytes encodeLegacyK7Project(const K7StoredProject& project) {
    Bytes out(signature.begin(), signature.end());
    appendField(out, version);
    appendField(out, std::to_string(project.samplePosition));
    for (const auto& row : project.rows) {
        appendField(out, row.path);
        const std::array<char, 2> modes{static_cast<char>('0' + static_cast<int>(row.loopMode)),
                                        static_cast<char>('0' + static_cast<int>(row.stereoMode))};
        appendField(out, std::string_view(modes.data(), 1));
        appendField(out, std::string_view(modes.data() + 1, 1));
    }
    return out;
}

}  // namespace k7::detail
