#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "K7Dispatch/Scheduler.h"
#include "K7MIDI/Alsa/AlsaEndpointCatalog.h"
#include "K7MIDI/Alsa/AlsaSequencing.h"
#include "K7MIDI/Transport/MIDIOutputSpeedTable.h"
#include "K7MIDI/Transport/MIDIReceivePath.h"
#include "K7MIDI/Transport/MIDISendGate.h"
#include "K7MIDI/Transport/MIDITransporting.h"

namespace k7 {

// The transport over the ALSA sequencer: a client named "V7/64" with one input and one output
// port. An input thread moves the selected source's events into the ingress ring; the receive
// queue frames them and also handles the system's endpoint announcements. Sends run on the
// caller's thread, cut into small SysEx events paced at the output's maximum SysEx speed.
class AlsaMIDITransport final : public MIDITransporting {
public:
    using MIDITransporting::send;

    static constexpr const char* clientName = "V7/64";

    // Opens the system's sequencer; throws MIDITransportError::system when there is none.
    AlsaMIDITransport();
    // Over any sequencer (a fake in tests); the receive queue defaults to a SerialQueue. Without
    // an ingress worker the input thread hands its batches over itself.
    explicit AlsaMIDITransport(std::unique_ptr<AlsaSequencing> sequencer,
                               std::shared_ptr<Scheduler> receiveQueue = nullptr,
                               MIDIReceivePathConfiguration receivePath = {});
    ~AlsaMIDITransport() override;

    MIDIEndpointSnapshot endpointSnapshot() const override;
    void selectInput(std::optional<int32_t> id) override;
    void selectOutput(std::optional<int32_t> id) override;
    void send(ByteView sysEx, const MIDISendProgress& progress) override;
    void cancelPendingSends() override;
    void cancelPendingReceives() override;
    void drainPendingReceives(Duration quietFor, Duration timeout, DrainCompletion completion) override;
    void configureMaximumSysExSpeed(std::optional<int> bytesPerSecond) override;

private:
    struct Lifetime;
    struct Selection {
        int32_t id;
        AlsaPortAddress address;
    };

    void readInput();
    void refreshEndpoints();
    void diagnose(std::string name, std::map<std::string, std::string> fields);

    std::unique_ptr<AlsaSequencing> sequencer_;
    std::shared_ptr<Scheduler> queue_;
    std::shared_ptr<Lifetime> lifetime_;

    mutable std::mutex mutex_;
    AlsaEndpointCatalog catalog_;
    std::optional<Selection> input_;
    std::optional<Selection> output_;
    MIDIOutputSpeedTable speeds_{defaultMaximumSysExBytesPerSecond};
    // The input thread reads this without the lock: client << 16 | port, or -1.
    std::atomic<int64_t> inputAddress_{-1};
    // Held by the input thread from reading inputAddress_ until its bytes are written, and by an
    // input switch, so that bytes of the old source never land in the new source's stream.
    std::mutex inputSwitchMutex_;

    MIDISendGate gate_;
    std::unique_ptr<MIDIReceivePath> receivePath_;
    bool pumpsIngress_ = false;
    std::atomic<bool> stopping_{false};
    std::thread inputThread_;
};

}  // namespace k7
