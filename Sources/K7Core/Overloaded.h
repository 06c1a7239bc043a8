#pragma once

namespace k7 {

// Builds a visitor for std::visit from lambdas.
template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};

}  // namespace k7
