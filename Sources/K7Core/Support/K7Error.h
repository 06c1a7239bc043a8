#pragma once

#include <stdexcept>
#include <string>
#include <utility>
#include <variant>

namespace k7 {

// Base of every typed failure of the project. `Case` is a std::variant of plain structs, one per
// case with its payload. Each error type supplies `describe()` (the labelled case text) and the
// user-facing sentence, which becomes `what()`. Equality compares case and payload.
template <typename Derived, typename CaseVariant>
class K7Error : public std::runtime_error {
public:
    using Case = CaseVariant;

    explicit K7Error(Case errorCase)
        : std::runtime_error(Derived::messageFor(errorCase)), errorCase_(std::move(errorCase)) {}

    const Case& errorCase() const noexcept { return errorCase_; }

    template <typename T>
    bool is() const noexcept {
        return std::holds_alternative<T>(errorCase_);
    }

    template <typename T>
    const T* as() const noexcept {
        return std::get_if<T>(&errorCase_);
    }

    // The whole user-facing sentence.
    std::string message() const { return what(); }

    std::string describe() const { return Derived::describeCase(errorCase_); }

    friend bool operator==(const Derived& lhs, const Derived& rhs) {
        return lhs.errorCase_ == rhs.errorCase_;
    }

private:
    Case errorCase_;
};

}  // namespace k7
