#pragma once

#include <cstdint>

#include "K7Core/FileList/K7ProjectCodec.h"
#include "V7Aruviv/Models/TransferItem.h"

namespace k7 {

// The bounds of one import batch, in items and exact byte counts. The defaults are the program's;
// tests shrink them to reach a bound without writing gigabytes.
struct ImportLimits {
    int64_t maximumItems = K7ProjectCodec::Limits::defaults().maximumRows;  // file-list rows included
    int64_t payloadBudget = 536870912;   // data bytes one batch keeps in memory
    int64_t sysExFileBytes = 67108864;   // read from a file named as SysEx
    int64_t audioFileBytes = 536870912;  // read from a file named as WAV or AIFF
    int64_t projectFileBytes = K7ProjectCodec::Limits::defaults().maximumTotalBytes;
    int64_t unknownFileBytes = 536870912;
    int64_t sysExContentBytes = 67108864;  // content recognised as SysEx, whatever the name

    // What a file whose name declares `kind` may be read up to.
    int64_t fileCap(TransferItem::Kind kind) const {
        switch (kind) {
        case TransferItem::Kind::sysEx: return sysExFileBytes;
        case TransferItem::Kind::wav:
        case TransferItem::Kind::aiff: return audioFileBytes;
        case TransferItem::Kind::project: return projectFileBytes;
        case TransferItem::Kind::unknown: return unknownFileBytes;
        }
        return unknownFileBytes;
    }
};

}  // namespace k7
