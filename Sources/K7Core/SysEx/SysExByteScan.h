#pragma once

// Scans for the bytes that end a run of MIDI data: message bodies are long runs of data bytes,
// so these look at many bytes a step, with vector compares where the target has them (SSE2) and
// eight bytes a word otherwise.

#include <cstddef>
#include <cstdint>

namespace k7::sysex_scan {

// Index of the first byte at or after `from` with the high bit set, or `size`.
std::size_t findStatusByte(const uint8_t* data, std::size_t from, std::size_t size);
// Index of the first system byte (F0-FF) at or after `from`, or `size`.
std::size_t findSystemByte(const uint8_t* data, std::size_t from, std::size_t size);

// The same with plain integer arithmetic, eight bytes a step: what a target without vector
// compares runs.
std::size_t findStatusByteByWords(const uint8_t* data, std::size_t from, std::size_t size);
std::size_t findSystemByteByWords(const uint8_t* data, std::size_t from, std::size_t size);

}  // namespace k7::sysex_scan
