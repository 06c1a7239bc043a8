#pragma once

namespace k7 {

// Builds a visitor for std::visit from lambdas.
template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
// Clang 14 does not deduce aggregate template arguments without a guide.
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

}  // namespace k7
