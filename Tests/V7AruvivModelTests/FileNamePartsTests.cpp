#include <gtest/gtest.h>

#include "V7Aruviv/Support/FileNameParts.h"

namespace k7 {
namespace {

TEST(FileNameParts, SplitsAtTheLastDotUnlessItLeadsTheName) {
    struct Case {
        const char* name;
        const char* base;
        std::optional<std::string> extension;
    };
    const Case cases[] = {
        {"kick.wav", "kick", "wav"},     {"a.b.wav", "a.b", "wav"}, {".syx", ".syx", std::nullopt},
        {"kick", "kick", std::nullopt},  {"a.", "a", ""},           {".a.syx", ".a", "syx"},
        {"", "", std::nullopt},          {"..", ".", ""},           {"Kick.SYX", "Kick", "SYX"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto parts = FileNameParts::split(c.name);
        EXPECT_EQ(parts.baseName, c.base);
        EXPECT_EQ(parts.extension, c.extension);
        EXPECT_EQ(parts.joined(), c.name);
    }
}

TEST(FileNameParts, LastPathComponentIgnoresATrailingSeparator) {
    const struct {
        const char* path;
        const char* last;
    } cases[] = {{"/a/b/Kick.syx", "Kick.syx"}, {"/a/b/", "b"}, {"/a/b//", "b"}, {"Kick.syx", "Kick.syx"},
                 {"/", "/"},                     {"", ""},      {"/a", "a"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(FileNameParts::lastPathComponent(c.path), c.last);
    }
}

}  // namespace
}  // namespace k7
