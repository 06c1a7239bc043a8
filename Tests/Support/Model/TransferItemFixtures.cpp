#include "Support/Model/TransferItemFixtures.h"

#include <QUuid>

namespace k7::testing {

namespace {

TransferItem item(std::string name, TransferItem::Kind kind, Bytes data) {
    TransferItem made;
    made.id = QUuid::createUuid();
    made.sourceURL = std::filesystem::path(name);
    made.displayName = std::move(name);
    made.kind = kind;
    made.byteCount = static_cast<int64_t>(data.size());
    made.data = std::move(data);
    made.detail = made.displayName + " as imported";
    return made;
}

TransferItem audio(std::string name, TransferItem::Kind kind) {
    TransferItem made = item(std::move(name), kind, Bytes(64, 0));
    made.device = TransferItem::Device::notApplicable;
    made.audioSample = AudioSample{44100, {{0, 1 << 20, -(1 << 20), 0}}, 16, false, std::nullopt};
    made.sendMethod = TransferSendMethod::AudioSDS{};
    made.wireWorkload = TransferWireWorkload::AudioSDS{};
    return made;
}

}  // namespace

TransferItem wavItem(std::string name) { return audio(std::move(name), TransferItem::Kind::wav); }

TransferItem aiffItem(std::string name) { return audio(std::move(name), TransferItem::Kind::aiff); }

TransferItem sysExItem(std::string name, TransferSendMethod method) {
    TransferItem made = item(std::move(name), TransferItem::Kind::sysEx, Bytes{0xF0, 0x7D, 0x01, 0x02, 0xF7});
    made.sendMethod = std::move(method);
    made.wireWorkload = TransferWireWorkload::rawSysEx(made.byteCount);
    made.messageCount = 1;
    return made;
}

TransferItem projectItem(std::string name) {
    TransferItem made = item(std::move(name), TransferItem::Kind::project, Bytes{'K', '7'});
    made.device = TransferItem::Device::notApplicable;
    return made;
}

}  // namespace k7::testing
