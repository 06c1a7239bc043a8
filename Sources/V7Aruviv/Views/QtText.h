#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace k7 {

// Model texts are UTF-8.
inline QString qt(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace k7
