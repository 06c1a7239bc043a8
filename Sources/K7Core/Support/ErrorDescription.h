#pragma once

// Helpers for the textual form of error cases: `caseName(label: value, ...)`.
// User texts quote this form, so it is stable and the same for every error type.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace k7 {

// One labelled value already rendered as text.
struct DescribedField {
    std::string_view label;
    std::string value;
};

inline std::string describeValue(std::string_view text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}
inline std::string describeValue(const std::string& text) { return describeValue(std::string_view(text)); }
inline std::string describeValue(const char* text) { return describeValue(std::string_view(text)); }
inline std::string describeValue(bool value) { return value ? "true" : "false"; }
template <typename Integer>
    requires std::is_integral_v<Integer> && (!std::is_same_v<Integer, bool>)
std::string describeValue(Integer value) {
    // uint8_t would otherwise print as a character.
    if constexpr (std::is_signed_v<Integer>) {
        return std::to_string(static_cast<long long>(value));
    } else {
        return std::to_string(static_cast<unsigned long long>(value));
    }
}

inline DescribedField field(std::string_view label, std::string renderedValue) {
    return DescribedField{label, std::move(renderedValue)};
}

template <typename Value>
DescribedField labelled(std::string_view label, const Value& value) {
    return DescribedField{label, describeValue(value)};
}

// `name` alone, or `name(label: value, ...)`; an empty label gives an unlabelled value.
inline std::string describeCase(std::string_view name, std::initializer_list<DescribedField> fields = {}) {
    std::string text(name);
    if (fields.size() == 0) return text;
    text += '(';
    bool first = true;
    for (const auto& item : fields) {
        if (!first) text += ", ";
        first = false;
        if (!item.label.empty()) {
            text += item.label;
            text += ": ";
        }
        text += item.value;
    }
    text += ')';
    return text;
}

// Two-digit upper-case hexadecimal, as bytes are written in user texts ("0x7E").
inline std::string hexByte(uint8_t byte) {
    static constexpr char digits[] = "0123456789ABCDEF";
    return std::string{'0', 'x', digits[byte >> 4], digits[byte & 0x0F]};
}

}  // namespace k7
