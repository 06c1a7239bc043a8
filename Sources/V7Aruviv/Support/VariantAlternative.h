#pragma once

#include <type_traits>
#include <variant>

namespace k7 {

// True when T is exactly one of the variant's alternatives; keeps case wrappers from converting
// plain numbers or texts into a case by aggregate initialisation.
template <typename T, typename Variant>
struct IsVariantAlternative : std::false_type {};
template <typename T, typename... Alternatives>
struct IsVariantAlternative<T, std::variant<Alternatives...>>
    : std::bool_constant<(std::is_same_v<std::decay_t<T>, Alternatives> || ...)> {};

template <typename T, typename Variant>
concept VariantAlternative = IsVariantAlternative<T, Variant>::value;

}  // namespace k7
