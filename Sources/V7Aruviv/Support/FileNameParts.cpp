#include "V7Aruviv/Support/FileNameParts.h"

namespace k7 {

FileNameParts FileNameParts::split(std::string_view name) {
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) return {std::string(name), std::nullopt};
    return {std::string(name.substr(0, dot)), std::string(name.substr(dot + 1))};
}

std::string FileNameParts::extensionOf(std::string_view name) { return split(name).extension.value_or(""); }

std::string FileNameParts::joined() const { return extension ? baseName + "." + *extension : baseName; }

std::string FileNameParts::lastPathComponent(const std::filesystem::path& path) {
    std::string text = path.string();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    if (text == "/") return text;
    const auto slash = text.rfind('/');
    return slash == std::string::npos ? text : text.substr(slash + 1);
}

}  // namespace k7
