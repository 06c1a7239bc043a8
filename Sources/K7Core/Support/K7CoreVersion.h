#pragma once

#include <string_view>

namespace k7 {

struct K7Core {
    static constexpr std::string_view version = "1.0.1";
};

}  // namespace k7
