// The XML property-list file list, version 1:
//
//   <plist version="1.0"><dict>
//     <key>items</key> <array> <dict> <key>loopMode</key> <string>useFileSetting|enabled|disabled</string>
//                                     <key>path</key> <string>relative or absolute path</string>
//                                     <key>stereoMode</key> <string>bothChannels|leftChannel|rightChannel</string>
//                              </dict> ... </array>
//     <key>samplePosition</key> <integer>0...4294967295</integer>
//     <key>version</key> <integer>1</integer>
//   </dict></plist>
//
// Only the property-list vocabulary is accepted; keys this version does not know are skipped.

#include <array>
#include <charconv>
#include <optional>
#include <string_view>
#include <utility>

#include <pugixml.hpp>

#include "K7Core/FileList/K7ProjectFormats.h"

namespace k7::detail {

namespace {

using Error = K7ProjectCodecError;

constexpr std::string_view header =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
    "<plist version=\"1.0\">\n";
constexpr std::array<std::string_view, 3> loopModeNames{"useFileSetting", "enabled", "disabled"};
constexpr std::array<std::string_view, 3> stereoModeNames{"bothChannels", "leftChannel", "rightChannel"};
// Nesting beyond this is no file list, and the checks below recurse.
constexpr int maximumDepth = 32;

[[noreturn]] void malformed(std::string reason) { throw Error(Error::MalformedPropertyList{std::move(reason)}); }

bool isWhitespace(std::string_view text) { return text.find_first_not_of(" \t\r\n") == std::string_view::npos; }

bool isText(const pugi::xml_node& node) {
    return node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata;
}

std::string textOf(const pugi::xml_node& element) {
    std::string text;
    for (const auto& child : element.children()) {
        if (isText(child)) text += child.value();
    }
    return text;
}

// Element children only; text between them must be white space.
std::vector<pugi::xml_node> elementChildren(const pugi::xml_node& container) {
    std::vector<pugi::xml_node> elements;
    for (const auto& child : container.children()) {
        if (child.type() == pugi::node_element) {
            elements.push_back(child);
        } else if (isText(child) && !isWhitespace(child.value())) {
            malformed("<" + std::string(container.name()) + "> holds text outside its elements");
        }
    }
    return elements;
}

void checkValue(const pugi::xml_node& element, int depth) {
    const std::string_view name = element.name();
    if (depth > maximumDepth) malformed("values are nested more than " + std::to_string(maximumDepth) + " deep");
    if (element.first_attribute()) malformed("<" + std::string(name) + "> has attributes");
    if (name == "dict") {
        const auto children = elementChildren(element);
        if (children.size() % 2 != 0) malformed("a <dict> has a key without a value");
        for (std::size_t i = 0; i < children.size(); i += 2) {
            if (std::string_view(children[i].name()) != "key") malformed("a <dict> holds a value where a key belongs");
            checkValue(children[i], depth + 1);
            checkValue(children[i + 1], depth + 1);
        }
    } else if (name == "array") {
        for (const auto& child : elementChildren(element)) checkValue(child, depth + 1);
    } else if (name == "key" || name == "string" || name == "integer" || name == "real" || name == "date" ||
               name == "data") {
        for (const auto& child : element.children()) {
            if (child.type() == pugi::node_element) malformed("<" + std::string(name) + "> holds an element");
        }
    } else if (name == "true" || name == "false") {
        if (!elementChildren(element).empty()) malformed("<" + std::string(name) + "> holds an element");
    } else {
        malformed("<" + std::string(name) + "> is not a property-list element");
    }
}

std::vector<std::pair<std::string, pugi::xml_node>> entriesOf(const pugi::xml_node& dict) {
    const auto children = elementChildren(dict);
    std::vector<std::pair<std::string, pugi::xml_node>> entries;
    for (std::size_t i = 0; i < children.size(); i += 2) {
        auto key = textOf(children[i]);
        for (const auto& entry : entries) {
            if (entry.first == key) malformed("the key \"" + key + "\" appears twice in one <dict>");
        }
        entries.emplace_back(std::move(key), children[i + 1]);
    }
    return entries;
}

pugi::xml_node valueFor(const std::vector<std::pair<std::string, pugi::xml_node>>& entries, std::string_view key,
                        std::string_view type, std::string_view where) {
    for (const auto& [name, value] : entries) {
        if (name != key) continue;
        if (std::string_view(value.name()) != type) {
            malformed("the " + std::string(where) + " value \"" + std::string(key) + "\" is not a <" +
                      std::string(type) + ">");
        }
        return value;
    }
    malformed("the " + std::string(where) + " has no \"" + std::string(key) + "\"");
}

std::optional<int64_t> integerOf(const pugi::xml_node& element) {
    std::string text = textOf(element);
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return std::nullopt;
    const auto last = text.find_last_not_of(" \t\r\n");
    std::string_view digits(text.data() + first, last + 1 - first);
    if (!digits.empty() && digits[0] == '+') digits.remove_prefix(1);
    int64_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return value;
}

template <typename Mode, std::size_t N>
Mode modeOf(const pugi::xml_node& element, const std::array<std::string_view, N>& names, std::size_t row,
            std::string_view key) {
    const auto text = textOf(element);
    for (std::size_t i = 0; i < N; ++i) {
        if (text == names[i]) return static_cast<Mode>(i);
    }
    malformed("the " + std::string(key) + " of row " + std::to_string(row + 1) + " is not a known mode");
}

// XML forbids a reference to U+0000, yet the parser accepts one and its NUL-terminated text would
// silently end there: "a&#0;b.wav" would name the file "a".
void refuseNulReferences(ByteView data) {
    const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
    for (auto at = text.find("&#"); at != std::string_view::npos; at = text.find("&#", at + 2)) {
        std::size_t i = at + 2;
        const bool hex = i < text.size() && (text[i] == 'x' || text[i] == 'X');
        if (hex) ++i;
        const std::size_t digits = i;
        while (i < text.size() && text[i] == '0') ++i;
        if (i > digits && i < text.size() && text[i] == ';') {
            throw Error(Error::MalformedXML{"a character reference names U+0000", at});
        }
    }
}

// The document, checked up to its version: what sniffing needs.
pugi::xml_node parseRootDict(pugi::xml_document& document, ByteView data) {
    refuseNulReferences(data);
    const auto result = document.load_buffer(data.data(), data.size(),
                                             pugi::parse_default | pugi::parse_ws_pcdata_single, pugi::encoding_utf8);
    if (!result) throw Error(Error::MalformedXML{result.description(), static_cast<std::size_t>(result.offset)});
    pugi::xml_node plist;
    for (const auto& node : document.children()) {
        if (node.type() != pugi::node_element) continue;
        if (plist) malformed("the document has more than one root element");
        plist = node;
    }
    if (!plist || std::string_view(plist.name()) != "plist") throw Error(Error::UnrecognizedFormat{});
    for (const auto& attribute : plist.attributes()) {
        if (std::string_view(attribute.name()) != "version" || std::string_view(attribute.value()) != "1.0") {
            malformed("<plist> has an attribute other than version=\"1.0\"");
        }
    }
    const auto values = elementChildren(plist);
    if (values.size() != 1 || std::string_view(values[0].name()) != "dict") {
        malformed("<plist> does not hold exactly one <dict>");
    }
    checkValue(values[0], 1);
    const auto version = valueFor(entriesOf(values[0]), "version", "integer", "list");
    const auto number = integerOf(version);
    if (!number) malformed("the version is not an integer");
    if (*number != 1) throw Error(Error::UnsupportedVersion{std::to_string(*number)});
    return values[0];
}

void appendEscaped(std::string& out, std::string_view text) {
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            default: out += c;
        }
    }
}

}  // namespace

bool looksLikeXML(ByteView data) {
    std::size_t i = 0;
    if (data.size() >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) i = 3;
    while (i < data.size() && (data[i] == ' ' || data[i] == '\t' || data[i] == '\r' || data[i] == '\n')) ++i;
    return i < data.size() && data[i] == '<';
}

void sniffK7PropertyList(ByteView data) {
    pugi::xml_document document;
    parseRootDict(document, data);
}

K7StoredProject decodeK7PropertyList(ByteView data, const K7ProjectCodec::Limits& limits) {
    pugi::xml_document document;
    const auto root = entriesOf(parseRootDict(document, data));
    K7StoredProject project;
    const auto position = integerOf(valueFor(root, "samplePosition", "integer", "list"));
    if (!position || *position < 0 || *position > UINT32_MAX) malformed("the sample position is not 0...4294967295");
    project.samplePosition = static_cast<uint32_t>(*position);

    const auto items = elementChildren(valueFor(root, "items", "array", "list"));
    if (items.size() > static_cast<uint64_t>(limits.maximumRows)) {
        throw Error(Error::TooManyRows{static_cast<int64_t>(items.size()), limits.maximumRows});
    }
    project.rows.reserve(items.size());
    for (std::size_t row = 0; row < items.size(); ++row) {
        if (std::string_view(items[row].name()) != "dict") malformed("row " + std::to_string(row + 1) + " is not a <dict>");
        const auto entries = entriesOf(items[row]);
        project.rows.push_back({textOf(valueFor(entries, "path", "string", "row")),
                                modeOf<K7LoopMode>(valueFor(entries, "loopMode", "string", "row"), loopModeNames, row,
                                                   "loop mode"),
                                modeOf<K7StereoMode>(valueFor(entries, "stereoMode", "string", "row"),
                                                     stereoModeNames, row, "stereo mode")});
    }
    return project;
}

Bytes encodeK7PropertyList(const K7StoredProject& project) {
    std::string xml(header);
    xml += "<dict>\n\t<key>items</key>\n";
    if (project.rows.empty()) {
        xml += "\t<array/>\n";
    } else {
        xml += "\t<array>\n";
        for (const auto& row : project.rows) {
            xml += "\t\t<dict>\n\t\t\t<key>loopMode</key>\n\t\t\t<string>";
            xml += loopModeNames[static_cast<std::size_t>(row.loopMode)];
            xml += "</string>\n\t\t\t<key>path</key>\n\t\t\t<string>";
            appendEscaped(xml, row.path);
            xml += "</string>\n\t\t\t<key>stereoMode</key>\n\t\t\t<string>";
            xml += stereoModeNames[static_cast<std::size_t>(row.stereoMode)];
            xml += "</string>\n\t\t</dict>\n";
        }
        xml += "\t</array>\n";
    }
    xml += "\t<key>samplePosition</key>\n\t<integer>" + std::to_string(project.samplePosition) + "</integer>\n";
    xml += "\t<key>version</key>\n\t<integer>1</integer>\n</dict>\n</plist>\n";
    return Bytes(xml.begin(), xml.end());
}

}  // namespace k7::detail
