#include <gtest/gtest.h>

#include <random>

#include "K7Core/SysEx/SysExFileCodec.h"
#include "K7Core/SysEx/SysExStreamParser.h"
#include "TestBytes.h"

namespace k7 {
namespace {

using test::bytes;
using test::concat;
using test::sysEx;
using E = SysExParseError;
namespace ev = sysex_parse_event;
using Events = std::vector<SysExParseEvent>;

Events parseInChunks(const Bytes& stream, std::size_t chunk, std::size_t limit = 64) {
    SysExStreamParser parser(limit);
    Events events;
    for (std::size_t i = 0; i < stream.size(); i += chunk) {
        parser.feed(ByteView(stream).subspan(i, std::min(chunk, stream.size() - i)), events);
    }
    parser.finish(events);
    return events;
}

SysExParseEvent message(Bytes b) { return ev::Message{std::move(b)}; }
SysExParseEvent error(E e, std::size_t discarded) { return ev::Error{std::move(e), discarded}; }

const Bytes a = sysEx(6, 1);
const Bytes b = sysEx(10, 2);

// However the stream is cut into chunks, the events are the same.
TEST(SysExStreamParser, EventsDoNotDependOnChunking) {
    const std::vector<std::pair<Bytes, Events>> cases{
        {concat({a, b}), {message(a), message(b)}},
        // Channel traffic around messages is skipped.
        {concat({bytes({0x90, 0x40, 0x7F, 0x40, 0x00}), a, bytes({0xB0, 0x07, 0x64, 0xF1, 0x10}), b}),
         {message(a), message(b)}},
        // Real time inside a message is reported and removed.
        {bytes({0xF0, 0x01, 0xF8, 0x02, 0xFE, 0xF7}),
         {ev::RealTime{0xF8, 2}, ev::RealTime{0xFE, 4}, message(bytes({0xF0, 0x01, 0x02, 0xF7}))}},
        {concat({bytes({0xF0, 0x01, 0x02, 0x90, 0x40, 0x7F}), a}),
         {error(E(E::UnexpectedStatusByte{0x90, 3}), 3), message(a)}},
        {concat({bytes({0xF0, 0x01}), a}), {error(E(E::NestedStart{2}), 2), message(a)}},
        {concat({bytes({0xF7}), a}), {error(E(E::EndWithoutStart{0}), 1), message(a)}},
        // An oversized message is dropped whole and the next one kept; one at the limit is kept.
        {concat({sysEx(70), a}), {error(E(E::OversizedMessage{0, 0, 64}), 70), message(a)}},
        {sysEx(64), {message(sysEx(64))}},
        {concat({a, bytes({0xF0, 0x01, 0x02})}), {message(a), error(E(E::UnterminatedMessage{1, 6, 3}), 3)}},
    };
    for (const auto& [stream, expected] : cases) {
        for (std::size_t chunk : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{7}, stream.size() + 1}) {
            EXPECT_EQ(parseInChunks(stream, chunk), expected) << ::testing::PrintToString(stream) << " in " << chunk;
        }
    }
    const Bytes big = sysEx(1 << 20, 5);
    EXPECT_EQ(parseInChunks(big, 4096, SysExStreamParser::defaultMaximumMessageBytes), Events{message(big)});
}

// Random traffic, whole messages and long ones that span chunks, with every kind of fault: any
// chunking frames it exactly as byte-by-byte feeding does, at any size limit. Messages inside one
// chunk take a different path from those that span chunks, and a buffer kept for the next message
// must not leak bytes into it.
TEST(SysExStreamParser, AnyChunkingFramesLikeByteByByteFeeding) {
    std::mt19937 random(11);
    const auto stream = [&](std::size_t pieces) {
        Bytes out;
        for (std::size_t p = 0; p < pieces; ++p) {
            const auto kind = random() % 8;
            if (kind < 2) {
                out.push_back(static_cast<uint8_t>(kind * 0x80 + random() % 0x80));  // any status or data byte
                continue;
            }
            // Long messages span chunks; short ones may carry a clock byte or a status byte inside.
            Bytes m = sysEx(kind == 3 ? 20000 + random() % 3000 : 2 + random() % 120, static_cast<uint8_t>(p));
            if (kind == 2) {
                m.insert(m.begin() + static_cast<std::ptrdiff_t>(1 + random() % (m.size() - 1)),
                         random() % 2 ? 0xF8 : static_cast<uint8_t>(0x80 + random() % 0x70));
            }
            out.insert(out.end(), m.begin(), m.end());
        }
        return out;
    };
    for (int round = 0; round < 12; ++round) {
        const Bytes input = stream(200);
        for (std::size_t limit : {std::size_t{2}, std::size_t{17}, std::size_t{64}, std::size_t{21000},
                                  SysExStreamParser::defaultMaximumMessageBytes}) {
            const Events expected = parseInChunks(input, 1, limit);
            for (std::size_t chunk : {std::size_t{5}, std::size_t{16}, std::size_t{31}, std::size_t{4096}, input.size()}) {
                ASSERT_EQ(parseInChunks(input, chunk, limit), expected)
                    << "round " << round << ", limit " << limit << ", chunk " << chunk;
            }
        }
    }
}

TEST(SysExStreamParser, ReportsTheOpenMessageForADrain) {
    SysExStreamParser parser;
    parser.feed(bytes({0x90, 0x40, 0xF0, 0x01, 0x02}));
    EXPECT_TRUE(parser.isInsideMessage());
    EXPECT_EQ(parser.pendingMessageByteCount(), 3u);
    EXPECT_EQ(parser.bytesConsumed(), 5u);
    parser.reset();
    EXPECT_FALSE(parser.isInsideMessage());
    Events events;
    parser.finish(events);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(parser.feed(a), Events{message(a)}) << "after a reset the next message is framed normally";
}

TEST(SysExFileCodec, SplitsMessagesAndCountsWhiteSpaceBetweenThem) {
    const Bytes file = concat({bytes({' ', '\t'}), a, bytes({'\r', '\n', 0x0B, 0x0C}), b, bytes({'\n'})});
    EXPECT_EQ(SysExFileCodec::parse(file), (SysExFileCodec::ParseResult{{a, b}, 7, 16}));
    EXPECT_EQ(SysExFileCodec::join({a, b}), concat({a, b}));
    EXPECT_EQ(SysExFileCodec::parse({}), SysExFileCodec::ParseResult{});
    EXPECT_EQ(SysExFileCodec::parse(bytes({' ', '\n', '\t'})), (SysExFileCodec::ParseResult{{}, 3, 0}));
    EXPECT_EQ(SysExFileCodec::parse(bytes({0xF0, 0xF7})).messages.size(), 1u);
    // The limits are inclusive.
    EXPECT_EQ(SysExFileCodec::parse(concat({sysEx(16), sysEx(16), sysEx(16)}), 16, 3).messages.size(), 3u);
}

// Sending a file must send exactly its bytes, so anything that is not a whole message is refused.
TEST(SysExFileCodec, RefusesWithTheCaseAndAWholeSentence) {
    const std::vector<std::pair<Bytes, E>> cases{
        {concat({sysEx(4), bytes({0x41})}), E(E::StrayByte{0x41, 4})},
        {bytes({0x00, 0xF0, 0xF7}), E(E::StrayByte{0x00, 0})},
        {bytes({0x90, 0x40, 0x7F}), E(E::StrayByte{0x90, 0})},
        {concat({sysEx(3), bytes({0xF7})}), E(E::EndWithoutStart{3})},
        {bytes({0xF0, 0x01, 0xF0, 0x02, 0xF7}), E(E::NestedStart{2})},
        {bytes({0xF0, 0x01, 0x90, 0xF7}), E(E::UnexpectedStatusByte{0x90, 2})},
        {bytes({0xF0, 0x01, 0xF8, 0xF7}), E(E::UnpreservableByte{0xF8, 0, 2})},
        {concat({sysEx(3), bytes({0xF0, 0x01, 0x02})}), E(E::UnterminatedMessage{1, 3, 3})},
        {concat({sysEx(16), sysEx(17)}), E(E::OversizedMessage{1, 16, 16})},
        {concat({sysEx(4), sysEx(4), sysEx(4), sysEx(4)}), E(E::TooManyMessages{3})},
    };
    for (const auto& [file, expected] : cases) {
        const auto error = test::thrown<E>([&file = file] { SysExFileCodec::parse(file, 16, 3); });
        EXPECT_EQ(error, expected);
        const std::string text = error ? error->what() : "";
        EXPECT_TRUE(std::isupper(static_cast<unsigned char>(text.front())) && text.back() == '.') << text;
    }
    EXPECT_EQ(E(E::OversizedMessage{1, 16, 8}).describe(), "oversizedMessage(messageIndex: 1, offset: 16, limit: 8)");
}

// Many messages of every length, so the scan ends at each place of its vector, and the list of
// messages grows well past its first guesses.
TEST(SysExFileCodec, SplitsThousandsOfMessagesOfEveryLength) {
    std::vector<Bytes> messages;
    Bytes file;
    std::size_t separators = 0;
    for (std::size_t i = 0; i < 5000; ++i) {
        messages.push_back(sysEx(2 + i % 97 + (i % 500 == 0 ? 70000 : 0), static_cast<uint8_t>(i)));
        file.insert(file.end(), messages.back().begin(), messages.back().end());
        if (i % 7 == 0) {
            file.push_back('\n');
            ++separators;
        }
    }
    const auto result = SysExFileCodec::parse(file, 16777216, 5000);
    EXPECT_EQ(result.messages, messages);
    EXPECT_EQ(result.containerSeparatorByteCount, separators);
    EXPECT_EQ(result.wireByteCount, file.size() - separators);
}

TEST(SysExFileCodec, ReadsTheRealInstrumentDumps) {
    const auto folder = test::sharedTestData();
    if (!folder) GTEST_SKIP() << "shared test data folder not found beside the project";
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(*folder / "elektron")) {
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
