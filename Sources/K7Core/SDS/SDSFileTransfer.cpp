#include "K7Core/SDS/SDSFileTransfer.h"

namespace k7 {

int64_t SDSFileTransfer::totalSampleWords() const {
    int64_t total = 0;
    for (int64_t words : packetSampleWordCounts) total += words;
    return total;
}

int64_t SDSFileTransfer::wireByteCount() const {
    int64_t total = 0;
    for (const auto* list : {&preambleMessages, &packetMessages, &completionMessages}) {
        for (const Bytes& message : *list) total += static_cast<int64_t>(message.size());
    }
    return total;
}

}  // namespace k7
