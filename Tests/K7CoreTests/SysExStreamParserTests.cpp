#include "K7Core/SysExStreamParser.h"

#include <gtest/gtest.h>

#include "TestBytes.h"

namespace k7 {
namespace {

using test::bytes;
using test::concat;
using test::sysEx;
using E = SysExParseError;
namespace ev = sysex_parse_event;

std::vector<SysExParseEvent> parseInChunks(const Bytes& stream, std::size_t chunk, std::size_t limit = 64) {
    SysExStreamParser parser(limit);
    std::vector<SysExParseEvent> events;
    for (std::size_t i = 0; i < stream.size(); i += chunk) {
        const std::size_t n = std::min(chunk, stream.size() - i);
        parser.feed(ByteView(stream).subspan(i, n), events);
    }
    parser.finish(events);
    return events;
}

SysExParseEvent message(Bytes b) { return ev::Message{std::move(b)}; }
SysExParseEvent error(E e, std::size_t discarded) { return ev::Error{std::move(e), discarded}; }

struct StreamCase {
    const char* name;
    Bytes stream;
    std::vector<SysExParseEvent> expected;
};

class SysExStreamParserCases : public ::testing::TestWithParam<StreamCase> {};

// However the stream is cut into chunks, the events are the same.
TEST_P(SysExStreamParserCases, EventsDoNotDependOnChunking) {
    const auto& c = GetParam();
    for (std::size_t chunk : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7}, c.stream.size() + 1}) {
        EXPECT_EQ(parseInChunks(c.stream, chunk), c.expected) << c.name << " in chunks of " << chunk;
    }
}

const Bytes a = sysEx(6, 1);
const Bytes b = sysEx(10, 2);

INSTANTIATE_TEST_SUITE_P(
    Cases, SysExStreamParserCases,
    ::testing::Values(
        StreamCase{"back to back", concat({a, b}), {message(a), message(b)}},
        StreamCase{"channel traffic around messages is skipped",
                   concat({bytes({0x90, 0x40, 0x7F, 0x40, 0x00}), a, bytes({0xB0, 0x07, 0x64, 0xF1, 0x10}), b}),
                   {message(a), message(b)}},
        StreamCase{"real time inside a message is reported and removed",
                   bytes({0xF0, 0x01, 0xF8, 0x02, 0xFE, 0xF7}),
                   {ev::RealTime{0xF8, 2}, ev::RealTime{0xFE, 4}, message(bytes({0xF0, 0x01, 0x02, 0xF7}))}},
        StreamCase{"status byte cuts a message short",
                   concat({bytes({0xF0, 0x01, 0x02, 0x90, 0x40, 0x7F}), a}),
                   {error(E(E::UnexpectedStatusByte{0x90, 3}), 3), message(a)}},
        StreamCase{"new start inside a message", concat({bytes({0xF0, 0x01}), a}),
                   {error(E(E::NestedStart{2}), 2), message(a)}},
        StreamCase{"end without start", concat({bytes({0xF7}), a}), {error(E(E::EndWithoutStart{0}), 1), message(a)}},
        StreamCase{"oversized message is dropped whole and the next one kept", concat({sysEx(70), a}),
                   {error(E(E::OversizedMessage{0, 0, 64}), 70), message(a)}},
        StreamCase{"message exactly at the limit", sysEx(64), {message(sysEx(64))}},
        StreamCase{"unterminated at the end", concat({a, bytes({0xF0, 0x01, 0x02})}),
                   {message(a), error(E(E::UnterminatedMessage{1, 6, 3}), 3)}}),
    test::CaseName());

TEST(SysExStreamParser, ReportsTheOpenMessageForADrain) {
    SysExStreamParser parser;
    parser.feed(bytes({0x90, 0x40, 0xF0, 0x01, 0x02}));
    EXPECT_TRUE(parser.isInsideMessage());
    EXPECT_EQ(parser.pendingMessageByteCount(), 3u);
    EXPECT_EQ(parser.bytesConsumed(), 5u);
    parser.reset();
    EXPECT_FALSE(parser.isInsideMessage());
    std::vector<SysExParseEvent> events;
    parser.finish(events);
    EXPECT_TRUE(events.empty());
    // After a reset the next message is framed normally.
    EXPECT_EQ(parser.feed(a), std::vector<SysExParseEvent>{message(a)});
}

TEST(SysExStreamParser, KeepsLargeMessagesIntact) {
    const Bytes big = sysEx(1 << 20, 5);
    EXPECT_EQ(parseInChunks(big, 4096, SysExStreamParser::defaultMaximumMessageBytes),
              std::vector<SysExParseEvent>{message(big)});
}

}  // namespace
}  // namespace k7
