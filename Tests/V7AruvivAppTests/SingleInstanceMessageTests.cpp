#include "V7Aruviv/App/SingleInstanceMessage.h"

#include <gtest/gtest.h>

#include "V7Aruviv/App/SingleInstanceMessageDecoder.h"
#include "V7Aruviv/App/SingleInstanceName.h"

namespace k7 {
namespace {

using Status = SingleInstanceMessage::Status;
using Paths = std::vector<std::filesystem::path>;

TEST(SingleInstanceName, OnePerUserWithTheirOwnForTheHealthCheckAndTests) {
    constexpr long long noTest = -1;
    const struct {
        const char* name;
        const char* directory;
        unsigned long userId;
        bool offlineHealthCheck;
        long long testProcessId;
        const char* path;
    } cases[] = {
        {"the musician's copy", "/run/user/1000", 1000, false, noTest, "/run/user/1000/org.v764.V7Aruviv.1000"},
        {"a folder given with its slash", "/run/user/1000/", 1000, false, noTest,
         "/run/user/1000/org.v764.V7Aruviv.1000"},
        {"another user", "/tmp", 1001, false, noTest, "/tmp/org.v764.V7Aruviv.1001"},
        {"the offline health check", "/run/user/1000", 1000, true, noTest,
         "/run/user/1000/org.v764.V7Aruviv.1000.offline"},
        {"a test process", "/run/user/1000", 1000, false, 4242, "/run/user/1000/org.v764.V7Aruviv.1000.tests.4242"},
        {"a test of the health check", "/tmp", 0, true, 7, "/tmp/org.v764.V7Aruviv.0.offline.tests.7"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SingleInstanceName name;
        name.directory = c.directory;
        name.userId = c.userId;
        name.offlineHealthCheck = c.offlineHealthCheck;
        if (c.testProcessId != noTest) name.testProcessId = c.testProcessId;
        EXPECT_EQ(name.socketPath(), c.path);
    }
}

TEST(SingleInstanceMessage, PathsSurviveTheTripInOrderAndArriveWhole) {
    std::string longest(SingleInstanceMessage::maximumPathSize, 'x');
    longest.front() = '/';
    const Paths cases[] = {
        {},
        {"/home/m/kick.syx"},
        {"/b.wav", "/a b/ü ñ.aif", "/b.wav", longest},
    };
    for (const auto& paths : cases) {
        SCOPED_TRACE(paths.size());
        const Bytes message = SingleInstanceMessage::encode(paths);
        const auto decoded = SingleInstanceMessage::decode(message);
        ASSERT_EQ(decoded.status, Status::complete);
        EXPECT_EQ(decoded.paths, paths);
        // However the bytes are split, nothing counts before the last one is in.
        for (std::size_t size = 0; size < message.size(); ++size) {
            const auto part = SingleInstanceMessage::decode(ByteView(message).first(size));
            ASSERT_EQ(part.status, Status::incomplete) << size;
            EXPECT_TRUE(part.paths.empty());
        }
    }
}

Bytes withUInt32(Bytes bytes, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<uint8_t>(value >> shift));
    return bytes;
}

Bytes joined(Bytes bytes, const std::string& text) {
    bytes.insert(bytes.end(), text.begin(), text.end());
    return bytes;
}

TEST(SingleInstanceMessage, WhatNoLaterStartSendsIsRefused) {
    const Bytes header = {'V', '7', '6', '4', SingleInstanceMessage::version};
    const Bytes one = withUInt32(header, 1);
    const struct {
        const char* name;
        Bytes received;
        Status status;
    } cases[] = {
        {"another program's bytes", {'G', 'E', 'T', ' '}, Status::invalid},
        {"a wrong first byte is refused at once", {'X'}, Status::invalid},
        {"the version before starts confirmed the answer", {'V', '7', '6', '4', 1, 0, 0, 0, 0}, Status::invalid},
        {"a later version",
         withUInt32(Bytes{'V', '7', '6', '4', static_cast<uint8_t>(SingleInstanceMessage::version + 1)}, 0),
         Status::invalid},
        {"more paths than could fit", withUInt32(header, 0xFFFFFFFF), Status::invalid},
        {"an empty path", withUInt32(one, 0), Status::invalid},
        {"a path longer than any", withUInt32(one, SingleInstanceMessage::maximumPathSize + 1), Status::invalid},
        {"a relative path", joined(withUInt32(one, 7), "kit.syx"), Status::invalid},
        {"a relative path, judged on its first byte", joined(withUInt32(one, 7), "k"), Status::invalid},
        {"a NUL inside a path", joined(withUInt32(one, 4), std::string("/a\0b", 4)), Status::invalid},
        {"bytes after the last path", joined(withUInt32(one, 2), "/a!"), Status::invalid},
        {"a second message behind the first", joined(SingleInstanceMessage::encode({}), "V764"), Status::invalid},
        {"a path still arriving", joined(withUInt32(one, 10), "/home"), Status::incomplete},
        {"a length still arriving", {'V', '7', '6', '4', SingleInstanceMessage::version, 0, 0, 0, 1, 0, 0},
         Status::incomplete},
        {"more than the largest message", Bytes(SingleInstanceMessage::maximumSize + 1, 'V'), Status::invalid},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto decoded = SingleInstanceMessage::decode(c.received);
        EXPECT_EQ(decoded.status, c.status);
        EXPECT_TRUE(decoded.paths.empty());
    }
}

// Feeds `message` in pieces of `size` bytes and returns the decoder's last word and paths.
SingleInstanceMessage::Decoded fedInPieces(const Bytes& message, std::size_t size) {
    SingleInstanceMessageDecoder decoder;
    Status status = Status::incomplete;
    for (std::size_t offset = 0; offset < message.size(); offset += size) {
        status = decoder.feed(ByteView(message).subspan(offset, std::min(size, message.size() - offset)));
    }
    return {status, status == Status::complete ? decoder.paths() : Paths{}};
}

TEST(SingleInstanceMessageDecoder, AMessageInAnyPiecesReadsAsTheWholeDoes) {
    Bytes invalidLate = SingleInstanceMessage::encode({"/a.syx", "/b.syx"});
    invalidLate[invalidLate.size() - 3] = 0;  // a NUL near the end
    Bytes trailing = SingleInstanceMessage::encode({"/a.syx"});
    trailing.push_back('x');
    Paths many;
    for (int index = 0; index < 100000; ++index) many.emplace_back("/samples/kit-" + std::to_string(index) + ".syx");
    const struct {
        const char* name;
        Bytes message;
        Status status;
        Paths paths;
    } cases[] = {
        {"no paths", SingleInstanceMessage::encode({}), Status::complete, {}},
        {"names that are not UTF-8", SingleInstanceMessage::encode({"/Caf\xE9/Kick\xE9.syx", "/\xFF\xFE"}),
         Status::complete, {"/Caf\xE9/Kick\xE9.syx", "/\xFF\xFE"}},
        {"a hundred thousand paths", SingleInstanceMessage::encode(many), Status::complete, many},
        {"a NUL near the end", invalidLate, Status::invalid, {}},
        {"a byte after the message", trailing, Status::invalid, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const std::size_t size : {std::size_t{1}, std::size_t{3}, std::size_t{4096}, c.message.size()}) {
            SCOPED_TRACE(size);
            const auto decoded = fedInPieces(c.message, size);
            EXPECT_EQ(decoded.status, c.status);
            EXPECT_EQ(decoded.paths, c.paths);
        }
    }
}

}  // namespace
}  // namespace k7
