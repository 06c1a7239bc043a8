// A converted or received item joins a list of long samples without a second copy of the list.
#include "FileWorkTestSupport.h"

#include <gtest/gtest.h>

#include <functional>

#include "Support/Model/ReceiveRig.h"
#include "Support/Model/ResidentMemoryRise.h"
#include "Support/SDSWireFixture.h"

namespace k7::testing {
namespace {

constexpr std::size_t largeItemCount = 4;
constexpr std::size_t largeItemSize = std::size_t{32} << 20;
constexpr double allowanceMiB = 8;  // the new item, the model's bookkeeping and the allocator's slack

std::vector<TransferItem> largeItems() {
    std::vector<TransferItem> items;
    for (std::size_t index = 1; index <= largeItemCount; ++index) {
        items.push_back(receivedItem("Take " + std::to_string(index) + ".syx", ""));
        items.back().data = Bytes(largeItemSize, static_cast<uint8_t>(index));
        items.back().byteCount = static_cast<int64_t>(largeItemSize);
    }
    return items;
}

// A quiet studio whose model answers a sampler's packets.
AppModelRig::Options handshaking() {
    auto options = withPeer(nullptr);
    options.preferences.useHandshake = true;
    return options;
}

void convertToSDS(AppModelRig& rig, const TransferItem& source) {
    rig->setSelection({source.id});
    rig->convertSelectedToSDS();
    rig.settle();
}

void convertToDigiPRO(AppModelRig& rig, const TransferItem& source) {
    rig->setSelection({source.id});
    rig->convertSelectedToDigiPRO();
    rig.settle();
}

void receiveOneMessage(AppModelRig& rig, const TransferItem&) {
    pressReceive(rig);
    rig.wire().inject(Bytes{0xF0, 0x7E, 0x00, 0x7F, 0x00, 0xF7});
    rig.settle();
    ASSERT_TRUE(stopReceiveAndFinish(rig));
}

void receiveOneSDSDump(AppModelRig& rig, const TransferItem&) {
    const auto dump =
        SimulatedSDSDump::make(0, 3, 16, 22675, sds_wire::testSignal(1000), {sdsSampleNameMessage(0, 3, "Kick")});
    auto sampler = attachSDSSender(rig, {}, {dump});
    pressReceive(rig);
    sampler->start(rig.wire());
    ASSERT_TRUE(rig.runUntil([&] { return sampler->isFinished(); }));
    ASSERT_TRUE(stopReceiveAndFinish(rig));
}

TEST(AddingAnItem, BesideLongSamplesRaisesThePeakByLittleMoreThanTheItem) {
    if (sanitizerInflatesResidentPeak) GTEST_SKIP() << "a sanitizer's own memory makes the resident peak meaningless";
    const struct {
        const char* name;
        std::function<void(AppModelRig&, const TransferItem&)> add;
        std::string status;  // how the status begins
    } cases[] = {
        {"SDS conversion", convertToSDS, "Created SDS SysEx"},
        {"DigiPRO conversion", convertToDigiPRO, "Created DigiPRO file for position 0 \u2014 press Send to transfer"},
        {"receive of one message", receiveOneMessage, "SysEx received."},
        {"receive of one SDS dump", receiveOneSDSDump, "Received 1 item, "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AppModelRig rig(handshaking());
        auto items = largeItems();
        const auto source = audioItem("Kick.wav", sawtooth(256));
        items.push_back(source);
        rig->setItems(std::move(items));
        rig->setSamplePosition(0);
        std::vector<std::size_t> publishedCounts;
        QObject::connect(rig.model.get(), &AppModel::itemsChanged,
                         [&] { publishedCounts.push_back(rig->items().size()); });

        const ResidentMemoryRise rise;
        if (!rise.valid()) GTEST_SKIP() << "this system does not let the resident peak be read or reset";
        c.add(rig, source);
        const double peak = rise.peakMiB();

        EXPECT_EQ(rig->alertMessage(), std::nullopt);
        EXPECT_TRUE(rig->statusText().starts_with(c.status)) << rig->statusText();
        const std::size_t count = largeItemCount + 2;
        ASSERT_EQ(rig->items().size(), count);
        EXPECT_EQ(rig->selection(), std::set<QUuid>{rig->items().back().id});
        // Published once, with the new item already in the list; the large items keep their bytes.
        EXPECT_EQ(publishedCounts, std::vector<std::size_t>{count});
        for (std::size_t index = 0; index < largeItemCount; ++index) {
            const auto& data = rig->items()[index].data;
            ASSERT_EQ(data.size(), largeItemSize);
            EXPECT_EQ(data.back(), index + 1);
        }
        EXPECT_LE(peak, allowanceMiB);
    }
}

}  // namespace
}  // namespace k7::testing
