#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "K7Core/Turbo/TurboFrame.h"
#include "Support/Model/AppModelRig.h"
#include "Support/Model/TransferItemFixtures.h"
#include "Support/SimulatedTM1.h"

namespace k7::testing {

using namespace std::chrono_literals;

// A TM-1 on the cable answering the query as scripted.
inline std::shared_ptr<SimulatedTM1> tm1(TurboSpeed offered, SimulatedTM1::Answer answer = SimulatedTM1::Answer::normal) {
    SimulatedTM1::Options options;
    options.offeredSpeed = offered;
    options.answer = answer;
    return std::make_shared<SimulatedTM1>(options);
}

// The studio with `peer` attached and the saved routing; the start-up detection only when asked,
// so that a test begins from an idle negotiation.
inline AppModelRig::Options withPeer(std::shared_ptr<SimulatedPeer> peer, bool detectTurbo = false) {
    AppModelRig::Options options;
    if (peer) options.peers.push_back(std::move(peer));
    options.automaticallyDetectTurbo = detectTurbo;
    return options;
}

inline std::size_t turboQueriesSent(const MockMIDITransport& wire) {
    const auto sent = wire.sentMessages();
    return static_cast<std::size_t>(
        std::count_if(sent.begin(), sent.end(), [](const auto& m) { return m.bytes == TurboFrame::query(); }));
}

inline std::size_t turboFramesSent(const MockMIDITransport& wire) {
    const auto sent = wire.sentMessages();
    return static_cast<std::size_t>(std::count_if(sent.begin(), sent.end(), [](const auto& m) {
        return m.bytes.size() > 6 && std::equal(m.bytes.begin(), m.bytes.begin() + 6,
                                                Bytes{0xF0, 0x00, 0x20, 0x3C, 0x04, 0x00}.begin());
    }));
}

// Puts `items` in the list and selects them all.
inline void showSelected(AppModel& model, std::vector<TransferItem> items) {
    std::set<QUuid> ids;
    for (const auto& item : items) ids.insert(item.id);
    model.setItems(std::move(items));
    model.setSelection(std::move(ids));
}

// The busy states a command can meet, each entered the way the program gets there where that is
// built (a Turbo query awaiting its answer, a negotiation awaiting the TM-1) and through the
// coordinator's flag otherwise. They expect a rig whose cable has no TM-1 answering and whose
// start-up detection is over.
struct BusyState {
    const char* name;
    std::function<void(AppModelRig&)> enter;
};

inline const BusyState sending{"sending", [](AppModelRig& rig) { rig->setIsSending(true); }};
inline const BusyState receiving{"receiving", [](AppModelRig& rig) { rig->setIsReceiving(true); }};
inline const BusyState importing{"importing", [](AppModelRig& rig) { rig->setIsImporting(true); }};
inline const BusyState exporting{"exporting", [](AppModelRig& rig) { rig->setIsExporting(true); }};
inline const BusyState converting{"converting", [](AppModelRig& rig) { rig->setIsConverting(true); }};
inline const BusyState negotiating{"negotiating", [](AppModelRig& rig) {
                                       rig->negotiateTurbo();
                                       ASSERT_TRUE(TurboNegotiation::isWaiting(rig->turboState()));
                                   }};
// The automatic query sent when the endpoints are announced again; needs detection switched on.
inline const BusyState detecting{"detecting", [](AppModelRig& rig) {
                                     rig.wire().setEndpoints(rig.wire().endpointSnapshot());
                                     rig.settle();
                                     ASSERT_TRUE(rig->isTurboDetecting());
                                 }};

// A rig for busy-state tables: nobody answers Turbo queries, detection is on and the start-up
// query has timed out.
inline AppModelRig::Options quietStudio() {
    AppModelRig::Options options;
    options.automaticallyDetectTurbo = true;
    return options;
}

inline void finishStartUp(AppModelRig& rig) { rig.runFor(1s); }

// The quiet studio once its start-up query has timed out.
struct QuietRig : AppModelRig {
    QuietRig() : AppModelRig(quietStudio()) { finishStartUp(*this); }
};

}  // namespace k7::testing
