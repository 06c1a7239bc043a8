// Every libasound call of the project is in this file.
#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <mutex>

#include "K7MIDI/Alsa/AlsaSequencing.h"
#include "K7MIDI/Transport/MIDITransportError.h"

namespace k7 {

namespace {

// libasound prints its failures to stderr unless told otherwise; ours are reported as errors.
void silentErrorHandler(const char*, int, const char*, int, const char*, ...) {}

void check(int status, const char* operation) {
    if (status < 0) throw MIDITransportError::system(operation, status);
}

AlsaInputEvent convert(const snd_seq_event_t& event) {
    using Kind = AlsaInputEvent::Kind;
    AlsaInputEvent converted;
    converted.source = {event.source.client, event.source.port};
    auto note = [&](Kind kind) {
        converted.kind = kind;
        converted.channel = event.data.note.channel;
        converted.parameter = event.data.note.note;
        converted.value = event.data.note.velocity;
    };
    auto control = [&](Kind kind) {
        converted.kind = kind;
        converted.channel = event.data.control.channel;
        converted.parameter = event.data.control.param;
        converted.value = event.data.control.value;
    };
    switch (event.type) {
        case SND_SEQ_EVENT_NOTEOFF: note(Kind::noteOff); break;
        case SND_SEQ_EVENT_NOTEON: note(Kind::noteOn); break;
        case SND_SEQ_EVENT_KEYPRESS: note(Kind::keyPressure); break;
        case SND_SEQ_EVENT_CONTROLLER: control(Kind::controller); break;
        case SND_SEQ_EVENT_PGMCHANGE: control(Kind::programChange); break;
        case SND_SEQ_EVENT_CHANPRESS: control(Kind::channelPressure); break;
        case SND_SEQ_EVENT_PITCHBEND: control(Kind::pitchBend); break;
        case SND_SEQ_EVENT_CONTROL14: control(Kind::control14); break;
        case SND_SEQ_EVENT_NONREGPARAM: control(Kind::nonRegisteredParameter); break;
        case SND_SEQ_EVENT_REGPARAM: control(Kind::registeredParameter); break;
        case SND_SEQ_EVENT_SONGPOS: control(Kind::songPosition); break;
        case SND_SEQ_EVENT_SONGSEL: control(Kind::songSelect); break;
        case SND_SEQ_EVENT_QFRAME: control(Kind::quarterFrame); break;
        case SND_SEQ_EVENT_TUNE_REQUEST: converted.kind = Kind::tuneRequest; break;
        case SND_SEQ_EVENT_CLOCK: converted.kind = Kind::clock; break;
        case SND_SEQ_EVENT_TICK: converted.kind = Kind::tick; break;
        case SND_SEQ_EVENT_START: converted.kind = Kind::start; break;
        case SND_SEQ_EVENT_CONTINUE: converted.kind = Kind::continueSong; break;
        case SND_SEQ_EVENT_STOP: converted.kind = Kind::stop; break;
        case SND_SEQ_EVENT_SENSING: converted.kind = Kind::activeSensing; break;
        case SND_SEQ_EVENT_RESET: converted.kind = Kind::reset; break;
        case SND_SEQ_EVENT_SYSEX: {
            converted.kind = Kind::sysEx;
            const auto* bytes = static_cast<const uint8_t*>(event.data.ext.ptr);
            converted.data.assign(bytes, bytes + event.data.ext.len);
            break;
        }
        case SND_SEQ_EVENT_CLIENT_START:
        case SND_SEQ_EVENT_CLIENT_EXIT:
        case SND_SEQ_EVENT_CLIENT_CHANGE:
        case SND_SEQ_EVENT_PORT_START:
        case SND_SEQ_EVENT_PORT_EXIT:
        case SND_SEQ_EVENT_PORT_CHANGE: converted.kind = Kind::endpointsChanged; break;
        default: converted.kind = Kind::other; break;
    }
    return converted;
}

class LibasoundSequencer final : public AlsaSequencing {
public:
    explicit LibasoundSequencer(const std::string& clientName) {
        snd_lib_error_set_handler(&silentErrorHandler);
        // Non-blocking, so that fetching pending input never waits; readEvents waits in poll instead.
        check(snd_seq_open(&sequencer_, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK), "snd_seq_open");
        try {
            check(snd_seq_set_client_name(sequencer_, clientName.c_str()), "snd_seq_set_client_name");
            client_ = snd_seq_client_id(sequencer_);
            check(client_, "snd_seq_client_id");
            inputPort_ = snd_seq_create_simple_port(sequencer_, "Input",
                                                    SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE,
                                                    SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
            check(inputPort_, "snd_seq_create_simple_port");
            outputPort_ = snd_seq_create_simple_port(sequencer_, "Output",
                                                     SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
                                                     SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
            check(outputPort_, "snd_seq_create_simple_port");
            check(snd_seq_connect_from(sequencer_, inputPort_, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE),
                  "snd_seq_connect_from");
            // Room for a burst of SysEx events between two reads of the input thread.
            snd_seq_set_input_buffer_size(sequencer_, 256 * 1024);
            if (::pipe2(wakePipe_, O_CLOEXEC | O_NONBLOCK) != 0) check(-errno, "pipe2");
        } catch (...) {
            snd_seq_close(sequencer_);
            throw;
        }
    }

    ~LibasoundSequencer() override {
        snd_seq_close(sequencer_);
        ::close(wakePipe_[0]);
        ::close(wakePipe_[1]);
    }

    int clientID() const override { return client_; }

    std::vector<AlsaPortDescription> ports() override {
        std::lock_guard lock(mutex_);
        std::vector<AlsaPortDescription> result;
        snd_seq_client_info_t* client = nullptr;
        snd_seq_port_info_t* port = nullptr;
        snd_seq_client_info_malloc(&client);
        snd_seq_port_info_malloc(&port);
        snd_seq_client_info_set_client(client, -1);
        while (snd_seq_query_next_client(sequencer_, client) >= 0) {
            const int clientNumber = snd_seq_client_info_get_client(client);
            snd_seq_port_info_set_client(port, clientNumber);
            snd_seq_port_info_set_port(port, -1);
            while (snd_seq_query_next_port(sequencer_, port) >= 0) {
                const unsigned capability = snd_seq_port_info_get_capability(port);
                AlsaPortDescription description;
                description.address = {clientNumber, snd_seq_port_info_get_port(port)};
                description.clientName = snd_seq_client_info_get_name(client);
                description.portName = snd_seq_port_info_get_name(port);
                description.readable = (capability & SND_SEQ_PORT_CAP_READ) && (capability & SND_SEQ_PORT_CAP_SUBS_READ);
                description.writable =
                    (capability & SND_SEQ_PORT_CAP_WRITE) && (capability & SND_SEQ_PORT_CAP_SUBS_WRITE);
                description.hidden = capability & SND_SEQ_PORT_CAP_NO_EXPORT;
                result.push_back(std::move(description));
            }
        }
        snd_seq_port_info_free(port);
        snd_seq_client_info_free(client);
        return result;
    }

    void connectInput(AlsaPortAddress source) override {
        std::lock_guard lock(mutex_);
        check(snd_seq_connect_from(sequencer_, inputPort_, source.client, source.port), "snd_seq_connect_from");
    }
    void disconnectInput(AlsaPortAddress source) override {
        std::lock_guard lock(mutex_);
        check(snd_seq_disconnect_from(sequencer_, inputPort_, source.client, source.port), "snd_seq_disconnect_from");
    }
    void connectOutput(AlsaPortAddress destination) override {
        std::lock_guard lock(mutex_);
        check(snd_seq_connect_to(sequencer_, outputPort_, destination.client, destination.port), "snd_seq_connect_to");
    }
    void disconnectOutput(AlsaPortAddress destination) override {
        std::lock_guard lock(mutex_);
        check(snd_seq_disconnect_to(sequencer_, outputPort_, destination.client, destination.port),
              "snd_seq_disconnect_to");
    }

    void sendSysEx(ByteView piece) override {
        std::lock_guard lock(mutex_);
        snd_seq_event_t event;
        snd_seq_ev_clear(&event);
        snd_seq_ev_set_source(&event, outputPort_);
        snd_seq_ev_set_subs(&event);
        snd_seq_ev_set_direct(&event);
        snd_seq_ev_set_sysex(&event, piece.size(), const_cast<uint8_t*>(piece.data()));
        for (;;) {
            const int status = snd_seq_event_output_direct(sequencer_, &event);
            if (status >= 0) return;
            if (status != -EAGAIN) check(status, "snd_seq_event_output_direct");
            // The kernel's event pool is full: wait for room rather than lose the piece.
            const int count = snd_seq_poll_descriptors_count(sequencer_, POLLOUT);
            std::vector<pollfd> descriptors(static_cast<std::size_t>(count));
            snd_seq_poll_descriptors(sequencer_, descriptors.data(), static_cast<unsigned>(count), POLLOUT);
            ::poll(descriptors.data(), descriptors.size(), 100);
        }
    }

    std::vector<AlsaInputEvent> readEvents() override {
        std::vector<AlsaInputEvent> events;
        const int count = snd_seq_poll_descriptors_count(sequencer_, POLLIN);
        std::vector<pollfd> descriptors(static_cast<std::size_t>(count) + 1);
        snd_seq_poll_descriptors(sequencer_, descriptors.data(), static_cast<unsigned>(count), POLLIN);
        descriptors[static_cast<std::size_t>(count)] = pollfd{wakePipe_[0], POLLIN, 0};
        if (::poll(descriptors.data(), descriptors.size(), -1) < 0) return events;
        if (descriptors.back().revents & POLLIN) {
            char drained[64];
            while (::read(wakePipe_[0], drained, sizeof drained) > 0) {
            }
        }
        while (snd_seq_event_input_pending(sequencer_, 1) > 0) {
            snd_seq_event_t* event = nullptr;
            const int status = snd_seq_event_input(sequencer_, &event);
            if (status == -ENOSPC) {
                // The kernel dropped input because we read too slowly.
                AlsaInputEvent overrun;
                overrun.kind = AlsaInputEvent::Kind::inputOverrun;
                events.push_back(std::move(overrun));
                continue;
            }
            if (status < 0 || !event) break;
            events.push_back(convert(*event));
        }
        return events;
    }

    void wake() override {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(wakePipe_[1], &byte, 1);
    }

private:
    std::mutex mutex_;
    snd_seq_t* sequencer_ = nullptr;
    int client_ = -1;
    int inputPort_ = -1;
    int outputPort_ = -1;
    int wakePipe_[2] = {-1, -1};
};

}  // namespace

std::unique_ptr<AlsaSequencing> openAlsaSequencer(const std::string& clientName) {
    return std::make_unique<LibasoundSequencer>(clientName);
}

}  // namespace k7
