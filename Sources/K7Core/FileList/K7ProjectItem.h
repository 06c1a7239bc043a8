#pragma once

#include <filesystem>

#include "K7Core/FileList/K7LoopMode.h"
#include "K7Core/FileList/K7StereoMode.h"

namespace k7 {

// One row of a file list.
struct K7ProjectItem {
    std::filesystem::path fileURL;
    K7LoopMode loopMode = K7LoopMode::useFileSetting;
    K7StereoMode stereoMode = K7StereoMode::bothChannels;

    bool operator==(const K7ProjectItem&) const = default;
};

}  // namespace k7
