#include "V7Aruviv/Support/NameFolding.h"

#include <gtest/gtest.h>

namespace k7 {
namespace {

TEST(NameFolding, ComposesThenLowerCases) {
    const struct {
        const char* name;
        const char* folded;
    } cases[] = {
        {"Kick.WAV", "kick.wav"},
        {"Caf\u00C9.syx", "caf\u00E9.syx"},
        {"Cafe\u0301.syx", "caf\u00E9.syx"},  // decomposed accent composes to the same name
        {"\u00C5NGSTR\u00D6M", "\u00E5ngstr\u00F6m"},
        {"INDIGO", "indigo"},  // no locale-specific dotless i
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(foldedName(c.name), c.folded) << c.name;
    EXPECT_EQ(foldedName("Cafe\u0301"), foldedName("CAF\u00C9"));
}

TEST(NameFolding, ContainsComparesFoldedForms) {
    EXPECT_TRUE(foldedNameContains("Elektron tm-1 (port 1)", "TM-1"));
    EXPECT_TRUE(foldedNameContains("Cafe\u0301 Out", "caf\u00E9"));
    EXPECT_FALSE(foldedNameContains("TM1 Interface", "TM-1"));
}

}  // namespace
}  // namespace k7
