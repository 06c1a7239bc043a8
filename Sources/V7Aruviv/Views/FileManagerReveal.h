#pragma once

#include <filesystem>

namespace k7 {

// Shows `file` selected in the file manager (the freedesktop FileManager1 service over D-Bus),
// or, when no file manager offers that, opens the folder that holds it.
void showInFileManager(const std::filesystem::path& file);

}  // namespace k7
