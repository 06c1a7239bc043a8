#include "V7Aruviv/App/AppLaunchOptions.h"

#include <gtest/gtest.h>

namespace k7 {
namespace {

TEST(AppLaunchOptions, OfflineFlagAndFiles) {
    const struct {
        const char* name;
        std::vector<std::string> arguments;
        bool offline;
        std::vector<std::string> files;
    } cases[] = {
        {"nothing", {}, false, {}},
        {"the flag alone", {"--offline-health-check"}, true, {}},
        {"the flag anywhere", {"a.syx", "--offline-health-check", "/b.wav"}, true, {"/work/a.syx", "/b.wav"}},
        {"a value attached is not the flag", {"--offline-health-check=1"}, false, {}},
        {"a longer option is not the flag", {"--offline-health-check-now"}, false, {}},
        {"other options are ignored", {"-style", "--verbose", "kit.syx"}, false, {"/work/kit.syx"}},
        {"after -- everything is a file", {"--", "--offline-health-check", "-x.syx"}, false,
         {"/work/--offline-health-check", "/work/-x.syx"}},
        {"relative paths from the working folder", {"sub/k.aif", "../up.k7"}, false, {"/work/sub/k.aif", "/work/../up.k7"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto options = AppLaunchOptions::parse(c.arguments, "/work");
        EXPECT_EQ(options.offlineHealthCheck, c.offline);
        std::vector<std::string> files;
        for (const auto& file : options.files) files.push_back(file.string());
        EXPECT_EQ(files, c.files);
    }
}

}  // namespace
}  // namespace k7
