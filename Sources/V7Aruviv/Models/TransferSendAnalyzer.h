#pragma once

#include <vector>

#include "K7Core/SDS/SDSFileTransfer.h"
#include "K7Core/Support/Bytes.h"
#include "V7Aruviv/Models/TransferItem.h"
#include "V7Aruviv/Models/TransferSendAnalysis.h"

namespace k7 {

// Decides once, from an item's kind and bytes, how it would be sent and what it costs on the
// wire. Never fails: every failure becomes an invalid method whose reason the user sees.
struct TransferSendAnalyzer {
    static constexpr std::size_t maximumMessageBytes = 16777216;
    static constexpr std::size_t maximumMessages = 100000;

    static TransferSendAnalysis analyze(TransferItem::Kind kind, ByteView data, bool hasAudioSample);

    // The result for a file recognised as stored SDS dumps; a list without a dump is invalid,
    // since there would be nothing to send or plan.
    static TransferSendAnalysis storedDumpAnalysis(const std::vector<SDSFileTransfer>& transfers,
                                                   int64_t messageCount);
};

}  // namespace k7
