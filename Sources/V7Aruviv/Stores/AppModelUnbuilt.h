#pragma once

#include <stdexcept>
#include <string>

namespace k7 {

// Marks an operation whose coordinator is not written yet: reaching it fails loudly instead of
// pretending to succeed.
[[noreturn]] inline void unbuiltOperation(const char* operation) {
    throw std::logic_error(std::string(operation) + " is not available yet");
}

}  // namespace k7
