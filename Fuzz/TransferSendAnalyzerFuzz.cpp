#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "V7Aruviv/Models/TransferSendAnalyzer.h"

// Any bytes give an analysis, never an exception, and its parts agree with each other.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace k7;
    const k7::ByteView bytes(data, size);
    const auto analysis = TransferSendAnalyzer::analyze(TransferItem::Kind::sysEx, bytes, false);
    if (analysis.messageCount < 0 || analysis.messageCount > static_cast<int64_t>(size / 2)) std::abort();
    if (const auto reason = analysis.sendMethod.invalidReason()) {
        if (reason->empty() || !analysis.wireWorkload.is<TransferWireWorkload::Unavailable>()) std::abort();
    }
    if (const auto* raw = analysis.wireWorkload.as<TransferWireWorkload::RawSysEx>()) {
        if (raw->wireBytes < 0 || raw->wireBytes > static_cast<int64_t>(size)) std::abort();
    }
    if (!analysis.digiPROFrames.empty() && !analysis.sendMethod.is<TransferSendMethod::RawDigiPRO>()) std::abort();
    for (const auto& frame : analysis.digiPROFrames) {
        if (frame.position < 0 || frame.position > 63 || frame.name.size() != 4) std::abort();
    }
    return 0;
}
