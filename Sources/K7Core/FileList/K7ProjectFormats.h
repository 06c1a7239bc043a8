#pragma once

// Private: the two on-disk formats, working on rows whose paths are stored text.

#include <cstdint>
#include <string>
#include <vector>

#include "K7Core/FileList/K7LoopMode.h"
#include "K7Core/FileList/K7ProjectCodec.h"
#include "K7Core/FileList/K7StereoMode.h"
#include "K7Core/Support/Bytes.h"

namespace k7::detail {

struct K7StoredRow {
    std::string path;
    K7LoopMode loopMode;
    K7StereoMode stereoMode;
};

struct K7StoredProject {
    uint32_t samplePosition = 0;
    std::vector<K7StoredRow> rows;
};

bool hasLegacyK7Signature(ByteView data);
// Throws unless the signature is followed by a version this code reads.
void sniffLegacyK7Project(ByteView data);
K7StoredProject decodeLegacyK7Project(ByteView data, const K7ProjectCodec::Limits& limits);
Bytes encodeLegacyK7Project(const K7StoredProject& project);

// The first character after an optional byte-order mark and white space is '<'.
bool looksLikeXML(ByteView data);
// Throws unless the data is a property list of version 1.
void sniffK7PropertyList(ByteView data);
K7StoredProject decodeK7PropertyList(ByteView data, const K7ProjectCodec::Limits& limits);
Bytes encodeK7PropertyList(const K7StoredProject& project);

}  // namespace k7::detail
