#pragma once

// Small helpers shared by the core tests.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <ostream>
#include <string>

#include "K7Core/Support/Bytes.h"
#include "K7Core/Support/K7Error.h"

namespace k7 {

// Failures print as their labelled case.
template <typename Derived, typename Case>
std::ostream& operator<<(std::ostream& out, const K7Error<Derived, Case>& error) {
    return out << error.describe();
}

}  // namespace k7

namespace k7::test {

// The error of type E that `call` throws, if it throws one.
template <typename E, typename Call>
std::optional<E> thrown(Call&& call) {
    try {
        call();
    } catch (const E& error) {
        return error;
    }
    return std::nullopt;
}

inline Bytes bytes(std::initializer_list<int> values) {
    Bytes out;
    for (int v : values) out.push_back(static_cast<uint8_t>(v));
    return out;
}

inline Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

// A SysEx message of `length` bytes in total with a recognisable body.
inline Bytes sysEx(std::size_t length, uint8_t seed = 0) {
    Bytes message(length, 0);
    message.front() = 0xF0;
    for (std::size_t i = 1; i + 1 < length; ++i) message[i] = static_cast<uint8_t>((seed + i) & 0x7F);
    message.back() = 0xF7;
    return message;
}

// The folder of real instrument dumps beside the project, when it is there.
inline std::optional<std::filesystem::path> sharedTestData() {
    const auto folder = std::filesystem::path(K7_SOURCE_DIR) / ".." / "shared" / "testdata";
    if (std::filesystem::is_directory(folder)) return folder;
    return std::nullopt;
}

inline Bytes readFile(const std::filesystem::path& path) {
    std::ifstream stream(path, std::ios::binary);
    return Bytes{std::istreambuf_iterator<char>(stream), {}};
}

}  // namespace k7::test
