#include "V7Aruviv/App/AppLaunchOptions.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "Support/Model/TemporaryFolder.h"

namespace k7 {
namespace {

namespace fs = std::filesystem;

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

// The program's own arguments and working folder reach the files as their bytes: a Latin-1 folder
// or name is not read as text and turned into U+FFFD.
TEST(AppLaunchOptions, ThisProcessGivesArgumentsAndWorkingFolderAsBytes) {
    const testing::TemporaryFolder root;  // removed with std::filesystem, which takes any name
    const fs::path folder = root.path() / "Caf\xE9";
    ASSERT_TRUE(fs::create_directory(folder));
    const fs::path before = fs::current_path();
    ASSERT_EQ(::chdir(folder.c_str()), 0);
    // As QApplication leaves them: its own arguments taken out, the program's name first.
    const char* const arguments[] = {"V7Aruviv", "Kick\xE9.syx", "--offline-health-check", "/S\xE9/Snare.wav"};
    const auto options = AppLaunchOptions::ofThisProcess(4, arguments);
    const fs::path workingFolder = fs::current_path();
    ASSERT_EQ(::chdir(before.c_str()), 0);

    EXPECT_EQ(workingFolder.filename(), "Caf\xE9");
    EXPECT_TRUE(options.offlineHealthCheck);
    EXPECT_EQ(options.files, (std::vector<fs::path>{workingFolder / "Kick\xE9.syx", "/S\xE9/Snare.wav"}));
}

}  // namespace
}  // namespace k7
