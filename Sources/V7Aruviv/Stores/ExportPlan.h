#pragma once

#include <QUuid>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "K7Core/Support/Bytes.h"

namespace k7 {

struct ExportEntry {
    QUuid id;
    std::string name;  // the file name to write
    Bytes data;        // exactly the bytes to write
    std::filesystem::path destination;
    bool operator==(const ExportEntry&) const = default;
};

struct ExportPlan {
    std::vector<ExportEntry> entries;  // in selection order
    // Set when several items go into one folder; nothing for a single file.
    std::optional<std::filesystem::path> batchDirectory;
    bool operator==(const ExportPlan&) const = default;
};

// Called before each entry of a folder save is moved into place; what it throws aborts the save
// like a failed move.
using ExportCommitHook = std::function<void(std::size_t index, const std::filesystem::path& destination)>;

}  // namespace k7
