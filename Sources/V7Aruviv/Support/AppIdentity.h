#pragma once

#include <string>
#include <string_view>

namespace k7 {

// Every defaults key, queue label and notification name of the application starts with this.
inline constexpr std::string_view appReverseDNSPrefix = "org.v764";

// Test programs set this before anything runs, so that no test ever reads or writes the user's
// own settings (see AppPreferences::defaultStore).
inline constexpr const char* testProcessEnvironmentVariable = "V764_TEST_PROCESS";

// The prefix followed by `suffix` (which starts with its own dot, ".preferences.v1").
inline std::string appKey(std::string_view suffix) {
    std::string key(appReverseDNSPrefix);
    key += suffix;
    return key;
}

}  // namespace k7
