#pragma once

// Driving a send through the model rig as the main window does, and reading what it published.

#include <chrono>
#include <vector>

#include "AppModelTestHelpers.h"
#include "Support/Model/ListeningInstrument.h"
#include "V7Aruviv/Models/TransferItem.h"

namespace k7::testing {

// The studio's routing, no Turbo detection at start (it would hold Send back while it runs).
inline AppModelRig::Options sendRigOptions(const std::function<void(AppPreferences&)>& change = {}) {
    AppModelRig::Options options = withPeer(nullptr);
    // Captures hash no program file: hashing the test program takes most of a second.
    options.executablePath = std::filesystem::path();
    if (change) change(options.preferences);
    return options;
}

// Lists the items, selects them all and presses Send.
inline void pressSend(AppModelRig& rig, std::vector<TransferItem> items) {
    showSelected(*rig.model, std::move(items));
    rig->sendSelected();
}

inline bool runUntilSent(AppModelRig& rig, std::chrono::nanoseconds limit = std::chrono::hours(1)) {
    return rig.runUntil([&] { return !rig->isSending(); }, limit);
}

inline double seconds(Scheduler::TimePoint time) {
    return std::chrono::duration<double>(time.time_since_epoch()).count();
}

// Negotiates Turbo with a TM-1 on the cable offering `speed`, as the Turbo button does.
inline void negotiateTurbo(AppModelRig& rig, TurboSpeed speed) {
    rig.studio.attach(tm1(speed));
    rig->negotiateTurbo();
    rig.runUntil([&] { return std::holds_alternative<TurboNegotiation::Active>(rig->turboState()); },
                 std::chrono::seconds(10));
}

// Every value the session published, in order, with the virtual time of isSending's end.
struct PublishedProgress {
    std::vector<double> overall;
    std::vector<double> itemProgress;  // of the item under watch, whenever the list changed
    std::vector<bool> hadRate;
    std::optional<double> finishedAt;
    QMetaObject::Connection connections[3];

    PublishedProgress(AppModelRig& rig, QUuid watched) {
        AppModel* model = rig.model.get();
        auto scheduler = rig.studio.scheduler;
        connections[0] = QObject::connect(model, &AppModel::overallProgressChanged, [this, model] {
            overall.push_back(model->overallProgress());
            hadRate.push_back(model->transferRateBytesPerSecond().has_value());
        });
        connections[1] = QObject::connect(model, &AppModel::itemsChanged, [this, model, watched] {
            for (const auto& item : model->items()) {
                if (item.id == watched) itemProgress.push_back(item.progress);
            }
        });
        connections[2] = QObject::connect(model, &AppModel::isSendingChanged, [this, model, scheduler] {
            if (!model->isSending()) finishedAt = seconds(scheduler->now());
        });
    }
    ~PublishedProgress() {
        for (auto& connection : connections) QObject::disconnect(connection);
    }
};

inline const TransferItem& liveItem(const AppModelRig& rig, const QUuid& id) {
    for (const auto& item : rig->items()) {
        if (item.id == id) return item;
    }
    throw std::out_of_range("no such item");
}

}  // namespace k7::testing
