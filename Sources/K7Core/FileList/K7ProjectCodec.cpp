#include "K7Core/FileList/K7ProjectCodec.h"

#include <string_view>

#include "K7Core/FileList/K7ProjectFormats.h"

namespace k7 {

namespace {

using Error = K7ProjectCodecError;
namespace fs = std::filesystem;

void requireValidLimits(const K7ProjectCodec::Limits& limits) {
    if (limits.maximumTotalBytes < 1) throw Error(Error::InvalidLimits{"maximumTotalBytes", limits.maximumTotalBytes});
    if (limits.maximumRows < 1) throw Error(Error::InvalidLimits{"maximumRows", limits.maximumRows});
    if (limits.maximumPathBytes < 1) throw Error(Error::InvalidLimits{"maximumPathBytes", limits.maximumPathBytes});
}

void requireTotalBytes(std::size_t size, const K7ProjectCodec::Limits& limits) {
    if (static_cast<uint64_t>(size) > static_cast<uint64_t>(limits.maximumTotalBytes)) {
        throw Error(Error::TooManyBytes{static_cast<int64_t>(size), limits.maximumTotalBytes});
    }
}

fs::path folderOf(const fs::path& projectFileURL) {
    if (!projectFileURL.is_absolute() || !projectFileURL.has_filename()) throw Error(Error::InvalidProjectFileURL{});
    return projectFileURL.parent_path();
}

bool namesAFile(const fs::path& path) {
    const auto name = path.filename();
    return !name.empty() && name != "." && name != "..";
}

// Checks a stored path: its length, UTF-8, no control characters and, for XML, only characters
// XML 1.0 can carry.
void requireStorablePath(std::string_view text, std::size_t row, bool forXML, const K7ProjectCodec::Limits& limits) {
    if (text.size() > static_cast<uint64_t>(limits.maximumPathBytes)) {
        throw Error(Error::PathTooLong{row, static_cast<int64_t>(text.size()), limits.maximumPathBytes});
    }
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<uint8_t>(text[i]);
        std::size_t length = 1;
        uint32_t character = lead;
        uint32_t minimum = 0;
        if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            character = lead & 0x07;
            minimum = 0x10000;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            character = lead & 0x0F;
            minimum = 0x800;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            character = lead & 0x1F;
            minimum = 0x80;
        } else if (lead >= 0x80) {
            throw Error(Error::InvalidUTF8{row, i});
        }
        if (i + length > text.size()) throw Error(Error::InvalidUTF8{row, i});
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<uint8_t>(text[i + k]);
            if ((next & 0xC0) != 0x80) throw Error(Error::InvalidUTF8{row, i});
            character = character << 6 | (next & 0x3F);
        }
        // Overlong forms, UTF-16 surrogates and values beyond Unicode are not UTF-8.
        if (character < minimum || (character >= 0xD800 && character <= 0xDFFF) || character > 0x10FFFF) {
            throw Error(Error::InvalidUTF8{row, i});
        }
        if (character < 0x20 || (character >= 0x7F && character <= 0x9F)) throw Error(Error::UnsafePath{row, character});
        if (forXML && (character == 0xFFFE || character == 0xFFFF)) {
            throw Error(Error::InvalidXMLCharacter{row, character});
        }
        i += length;
    }
}

// Relative to the folder when the file lies below it; a ".." would make the stored form depend on
// how links resolve, so such paths stay absolute as given.
std::string storedPath(const fs::path& file, const fs::path& folder) {
    auto fileElement = file.begin();
    for (const auto& folderElement : folder) {
        if (folderElement.empty()) continue;  // a trailing separator
        if (fileElement == file.end() || *fileElement != folderElement) return file.native();
        ++fileElement;
    }
    fs::path relative;
    for (; fileElement != file.end(); ++fileElement) {
        if (*fileElement == "..") return file.native();
        relative /= *fileElement;
    }
    return relative.empty() ? file.native() : relative.native();
}

}  // namespace

K7ProjectFormat K7ProjectCodec::sniffFormat(ByteView data, const Limits& limits) {
    requireValidLimits(limits);
    requireTotalBytes(data.size(), limits);
    if (detail::hasLegacyK7Signature(data)) {
        detail::sniffLegacyK7Project(data);
        return K7ProjectFormat::legacyV0;
    }
    if (detail::looksLikeXML(data)) {
        detail::sniffK7PropertyList(data);
        return K7ProjectFormat::macOSXMLPropertyListV1;
    }
    throw Error(Error::UnrecognizedFormat{});
}

K7Project K7ProjectCodec::decodeSniffed(ByteView data, const fs::path& projectFileURL, const Limits& limits) {
    requireValidLimits(limits);
    requireTotalBytes(data.size(), limits);
    const auto folder = folderOf(projectFileURL);
    const bool xml = !detail::hasLegacyK7Signature(data);
    if (xml && !detail::looksLikeXML(data)) throw Error(Error::UnrecognizedFormat{});
    // Each decoder makes the checks sniffing makes, so the data is parsed once.
    const auto stored = xml ? detail::decodeK7PropertyList(data, limits) : detail::decodeLegacyK7Project(data, limits);

    K7Project project{stored.samplePosition, {}};
    project.items.reserve(stored.rows.size());
    for (std::size_t row = 0; row < stored.rows.size(); ++row) {
        const auto& [text, loopMode, stereoMode] = stored.rows[row];
        requireStorablePath(text, row, xml, limits);
        fs::path path(text);
        if (!namesAFile(path)) throw Error(Error::InvalidItemFileURL{row});
        project.items.push_back({path.is_absolute() ? path : folder / path, loopMode, stereoMode});
    }
    return project;
}

Bytes K7ProjectCodec::encode(const K7Project& project, K7ProjectFormat format, const fs::path& projectFileURL,
                             const Limits& limits) {
    requireValidLimits(limits);
    const auto folder = folderOf(projectFileURL);
    if (project.items.size() > static_cast<uint64_t>(limits.maximumRows)) {
        throw Error(Error::TooManyRows{static_cast<int64_t>(project.items.size()), limits.maximumRows});
    }
    const bool xml = format == K7ProjectFormat::macOSXMLPropertyListV1;
    detail::K7StoredProject stored{project.samplePosition, {}};
    stored.rows.reserve(project.items.size());
    for (std::size_t row = 0; row < project.items.size(); ++row) {
        const auto& item = project.items[row];
        if (!item.fileURL.is_absolute() || !namesAFile(item.fileURL)) throw Error(Error::InvalidItemFileURL{row});
        auto text = storedPath(item.fileURL, folder);
        requireStorablePath(text, row, xml, limits);
        stored.rows.push_back({std::move(text), item.loopMode, item.stereoMode});
    }
    auto bytes = xml ? detail::encodeK7PropertyList(stored) : detail::encodeLegacyK7Project(stored);
    requireTotalBytes(bytes.size(), limits);
    return bytes;
}

}  // namespace k7
