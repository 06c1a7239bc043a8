#pragma once

#include <filesystem>

namespace k7 {

// Shows `file` selected in the file manager (the freedesktop FileManager1 service over D-Bus),
// or, when no file manager offers that, opens the folder that holds it. False when neither could
// be asked: the desktop has nothing that opens folders.
bool showInFileManager(const std::filesystem::path& file);

}  // namespace k7
