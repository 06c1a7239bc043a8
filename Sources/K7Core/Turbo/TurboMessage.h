#pragma once

#include <string>
#include <variant>

#include "K7Core/Turbo/TurboSpeed.h"

namespace k7 {

namespace turbo_message {
struct Query {
    bool operator==(const Query&) const = default;
};
struct Response {
    TurboSpeed speed;
    bool operator==(const Response&) const = default;
};
struct Limit {
    TurboSpeed speed;
    bool operator==(const Limit&) const = default;
};
}  // namespace turbo_message

// A decoded Turbo frame.
using TurboMessage = std::variant<turbo_message::Query, turbo_message::Response, turbo_message::Limit>;

std::string describe(const TurboMessage& message);

}  // namespace k7
