#pragma once

// Real instrument dumps kept beside the project (never copied into it).

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "K7Core/Bytes.h"

namespace k7::testing {

inline std::filesystem::path elektronTestDataFolder() {
    return std::filesystem::path(K7_SOURCE_DIR) / ".." / "shared" / "testdata" / "elektron";
}

// nil when the file is absent; callers skip with the path in the reason.
inline std::optional<Bytes> readElektronTestData(const std::string& name) {
    std::ifstream file(elektronTestDataFolder() / name, std::ios::binary);
    if (!file) return std::nullopt;
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace k7::testing
