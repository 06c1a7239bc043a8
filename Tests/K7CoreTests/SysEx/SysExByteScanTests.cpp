#include <gtest/gtest.h>

#include <random>

#include "K7Core/SysEx/SysExByteScan.h"
#include "TestBytes.h"

namespace k7 {
namespace {

using Scan = std::size_t (*)(const uint8_t*, std::size_t, std::size_t);

// Every scan finds the first byte at or above its floor, wherever in a vector or word it falls,
// from any start, and stops at the end of the range even when bytes past it would match.
TEST(SysExByteScan, FindsTheFirstStopByteAtEveryPositionAndStopsAtTheEnd) {
    struct Case {
        const char* name;
        Scan scan;
        uint8_t floor;
    };
    const std::vector<Case> cases{
        {"status", sysex_scan::findStatusByte, 0x80},
        {"status by words", sysex_scan::findStatusByteByWords, 0x80},
        {"status, near", sysex_scan::findNearStatusByte, 0x80},
        {"system", sysex_scan::findSystemByte, 0xF0},
        {"system by words", sysex_scan::findSystemByteByWords, 0xF0},
    };
    std::mt19937 random(3);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Bytes just below the floor must never stop a scan; those at and above it always do.
        const std::vector<uint8_t> stops{c.floor, static_cast<uint8_t>(c.floor + 1), 0xF7, 0xFF};
        const uint8_t below = static_cast<uint8_t>(c.floor - 1);
        std::vector<std::size_t> sizes;
        for (std::size_t size = 0; size <= 70; ++size) sizes.push_back(size);
        // Long runs are scanned in blocks of 64 bytes after the first 32.
        sizes.insert(sizes.end(), {95, 96, 97, 159, 160, 161, 175, 288, 300});
        for (std::size_t size : sizes) {
            Bytes data(size + 8, 0xFF);  // past the range, everything would stop a scan
            for (std::size_t i = 0; i < size; ++i) data[i] = random() % 2 ? below : static_cast<uint8_t>(random() % 0x80);
            for (std::size_t from = 0; from <= std::min<std::size_t>(size, 3); ++from) {
                ASSERT_EQ(c.scan(data.data(), from, size), size) << size << " from " << from;
                for (std::size_t at = from; at < size; ++at) {
                    for (uint8_t stop : stops) {
                        Bytes marked = data;
                        marked[at] = stop;
                        if (at + 1 < size) marked[size - 1] = stop;  // a later stop must not win
                        ASSERT_EQ(c.scan(marked.data(), from, size), at) << size << " from " << from << " at " << at;
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace k7
