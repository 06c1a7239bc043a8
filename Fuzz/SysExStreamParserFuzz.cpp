#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "K7Core/Support/Overloaded.h"
#include "K7Core/SysEx/SysExStreamParser.h"

// Feeds the input in chunks whose sizes come from the first byte, and checks the invariants a
// receive relies on: every message is framed and clean, and no byte is counted twice.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t chunk = data[0] % 17 + 1;
    k7::ByteView input(data + 1, size - 1);
    k7::SysExStreamParser parser(64);
    std::vector<k7::SysExParseEvent> events;
    for (std::size_t i = 0; i < input.size(); i += chunk) {
        parser.feed(input.subspan(i, std::min(chunk, input.size() - i)), events);
    }
    parser.finish(events);
    std::size_t accounted = 0;
    for (const auto& event : events) {
        std::visit(k7::Overloaded{
                       [&](const k7::sysex_parse_event::Message& m) {
                           if (!k7::isFramedSysEx(m.bytes) || m.bytes.size() > 64) std::abort();
                           accounted += m.bytes.size();
                       },
                       [&](const k7::sysex_parse_event::RealTime& r) {
                           if (r.byte < 0xF8) std::abort();
                           ++accounted;
                       },
                       [&](const k7::sysex_parse_event::Error& e) { accounted += e.discardedByteCount; },
                   },
                   event);
    }
    if (accounted > input.size()) std::abort();
    return 0;
}
