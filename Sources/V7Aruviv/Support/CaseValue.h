#pragma once

#include <utility>
#include <variant>

#include "V7Aruviv/Support/VariantAlternative.h"

namespace k7 {

// Base of the model's case types: one of the variant's alternatives, built only from an exact
// alternative, compared case and payload.
template <typename Variant>
class CaseValue {
public:
    using Case = Variant;

    template <typename T>
        requires VariantAlternative<T, Case>
    CaseValue(T value) : value_(std::move(value)) {}

    const Case& value() const { return value_; }
    template <typename T>
    bool is() const {
        return std::holds_alternative<T>(value_);
    }
    template <typename T>
    const T* as() const {
        return std::get_if<T>(&value_);
    }

    bool operator==(const CaseValue&) const = default;

private:
    Case value_;
};

}  // namespace k7
