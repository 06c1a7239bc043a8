#include "K7Core/SysExFileCodec.h"

#include <gtest/gtest.h>

#include <cctype>

#include "TestBytes.h"

namespace k7 {
namespace {

using test::bytes;
using test::concat;
using test::sysEx;

TEST(SysExFileCodec, SplitsMessagesAndCountsWhiteSpaceBetweenThem) {
    const Bytes a = sysEx(5, 1), b = sysEx(9, 2);
    const Bytes file = concat({bytes({' ', '\t'}), a, bytes({'\r', '\n', 0x0B, 0x0C}), b, bytes({'\n'})});
    const auto result = SysExFileCodec::parse(file);
    EXPECT_EQ(result.messages, (std::vector<Bytes>{a, b}));
    EXPECT_EQ(result.containerSeparatorByteCount, 7u);
    EXPECT_EQ(result.wireByteCount, 14u);
    EXPECT_EQ(SysExFileCodec::join(result.messages), concat({a, b}));
}

TEST(SysExFileCodec, EmptyAndWhiteSpaceOnlyFilesHoldNoMessages) {
    EXPECT_EQ(SysExFileCodec::parse({}), SysExFileCodec::ParseResult{});
    const auto result = SysExFileCodec::parse(bytes({' ', '\n', '\n', '\t'}));
    EXPECT_TRUE(result.messages.empty());
    EXPECT_EQ(result.containerSeparatorByteCount, 4u);
    EXPECT_EQ(result.wireByteCount, 0u);
}

TEST(SysExFileCodec, TwoByteMessageIsComplete) {
    EXPECT_EQ(SysExFileCodec::parse(bytes({0xF0, 0xF7})).messages.size(), 1u);
}

struct FailureCase {
    const char* name;
    Bytes file;
    SysExParseError expected;
};

class SysExFileCodecFailures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(SysExFileCodecFailures, RefusesWithTheCaseAndAWholeSentence) {
    const auto& c = GetParam();
    try {
        SysExFileCodec::parse(c.file, 16, 3);
        FAIL() << "parsed " << c.name;
    } catch (const SysExParseError& error) {
        EXPECT_EQ(error, c.expected) << error.describe();
        const std::string text = error.what();
        EXPECT_TRUE(std::isupper(static_cast<unsigned char>(text.front()))) << text;
        EXPECT_EQ(text.back(), '.') << text;
    }
}

using E = SysExParseError;
INSTANTIATE_TEST_SUITE_P(
    Cases, SysExFileCodecFailures,
    ::testing::Values(
        FailureCase{"stray data byte", concat({sysEx(4), bytes({0x41})}), E(E::StrayByte{0x41, 4})},
        FailureCase{"NUL padding", bytes({0x00, 0xF0, 0xF7}), E(E::StrayByte{0x00, 0})},
        FailureCase{"channel message", bytes({0x90, 0x40, 0x7F}), E(E::StrayByte{0x90, 0})},
        FailureCase{"end without start", concat({sysEx(3), bytes({0xF7})}), E(E::EndWithoutStart{3})},
        FailureCase{"nested start", bytes({0xF0, 0x01, 0xF0, 0x02, 0xF7}), E(E::NestedStart{2})},
        FailureCase{"status inside", bytes({0xF0, 0x01, 0x90, 0xF7}), E(E::UnexpectedStatusByte{0x90, 2})},
        FailureCase{"real time inside", bytes({0xF0, 0x01, 0xF8, 0xF7}), E(E::UnpreservableByte{0xF8, 0, 2})},
        FailureCase{"unterminated", concat({sysEx(3), bytes({0xF0, 0x01, 0x02})}),
                    E(E::UnterminatedMessage{1, 3, 3})},
        FailureCase{"one byte over the size limit", concat({sysEx(16), sysEx(17)}), E(E::OversizedMessage{1, 16, 16})},
        FailureCase{"one message over the count limit", concat({sysEx(4), sysEx(4), sysEx(4), sysEx(4)}),
                    E(E::TooManyMessages{3})}),
    test::CaseName());

TEST(SysExFileCodec, LimitsAreInclusive) {
    const auto result = SysExFileCodec::parse(concat({sysEx(16), sysEx(16), sysEx(16)}), 16, 3);
    EXPECT_EQ(result.messages.size(), 3u);
    EXPECT_EQ(result.wireByteCount, 48u);
}

TEST(SysExFileCodec, DescribesCasesWithLabelledValues) {
    EXPECT_EQ(E(E::OversizedMessage{1, 16, 8}).describe(), "oversizedMessage(messageIndex: 1, offset: 16, limit: 8)");
    EXPECT_EQ(E(E::StrayByte{0x41, 4}).describe(), "strayByte(byte: 65, offset: 4)");
    EXPECT_NE(E(E::NestedStart{2}), E(E::NestedStart{3}));
}

TEST(SysExFileCodec, ReadsTheRealInstrumentDumps) {
    const auto folder = test::sharedTestData();
    if (!folder) GTEST_SKIP() << "shared test data folder not found beside the project";
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(*folder / "elektron")) {
        if (entry.path().extension() != ".syx") continue;
        const Bytes file = test::readFile(entry.path());
        const auto result = SysExFileCodec::parse(file);
        EXPECT_FALSE(result.messages.empty()) << entry.path();
        EXPECT_EQ(result.wireByteCount + result.containerSeparatorByteCount, file.size()) << entry.path();
        ++files;
    }
    EXPECT_GT(files, 0u);
}

}  // namespace
}  // namespace k7
