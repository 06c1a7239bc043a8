#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace k7 {

// The one rule for a file name's extension and base name, used wherever a name is split:
// - the extension is the text after the last dot: "a.b.wav" has "wav";
// - a dot at the start starts no extension: ".syx" has none, and neither has "kick";
// - a name ending in a dot has an empty extension: "a." has "";
// - the base name drops only the last extension: "a.b.wav" gives "a.b", ".syx" stays ".syx".
struct FileNameParts {
    std::string baseName;
    std::optional<std::string> extension;  // without the dot

    static FileNameParts split(std::string_view name);
    // The extension, or an empty text when there is none.
    static std::string extensionOf(std::string_view name);
    static std::string baseNameOf(std::string_view name) { return split(name).baseName; }
    // base + "." + extension, or the base alone when there is no extension.
    std::string joined() const;

    // The name a path ends in, a trailing separator ignored: "/a/b/" gives "b", "/" gives "/".
    static std::string lastPathComponent(const std::filesystem::path& path);
};

}  // namespace k7
