#pragma once

#include <string>
#include <string_view>

#include "K7Dispatch/QueueLabel.h"

namespace k7 {

// Test programs set this before anything runs, so that no test ever reads or writes the user's
// own settings (see AppPreferences::defaultStore).
inline constexpr const char* testProcessEnvironmentVariable = "V764_TEST_PROCESS";

// The prefix followed by `suffix` (which starts with its own dot, ".preferences.v1").
inline std::string appKey(std::string_view suffix) { return queueLabel(suffix); }

}  // namespace k7
