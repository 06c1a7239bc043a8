#pragma once

#include <string>
#include <string_view>

namespace k7 {

// Every queue label, defaults key and notification name of the application starts with this.
inline constexpr std::string_view appReverseDNSPrefix = "org.v764";

// The prefix followed by `suffix`, which starts with its own dot (".sds.sender").
inline std::string queueLabel(std::string_view suffix) {
    std::string label(appReverseDNSPrefix);
    label += suffix;
    return label;
}

}  // namespace k7
