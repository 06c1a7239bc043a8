#include "K7MIDI/Alsa/AlsaInputEvent.h"

#include <algorithm>

namespace k7 {

namespace {

uint8_t data7(int64_t value) { return static_cast<uint8_t>(std::clamp<int64_t>(value, 0, 127)); }
uint8_t low7(uint32_t value) { return static_cast<uint8_t>(value & 0x7F); }
uint8_t high7(uint32_t value) { return static_cast<uint8_t>((value >> 7) & 0x7F); }

void controller(Bytes& out, uint8_t channel, uint8_t number, uint8_t value) {
    out.insert(out.end(), {static_cast<uint8_t>(0xB0 | channel), number, value});
}

}  // namespace

void AlsaInputEvent::appendMIDIBytes(Bytes& out) const {
    const uint8_t ch = channel & 0x0F;
    const auto value14 = static_cast<uint32_t>(std::clamp<int32_t>(value, 0, 0x3FFF));
    switch (kind) {
        case Kind::noteOff: out.insert(out.end(), {uint8_t(0x80 | ch), low7(parameter), data7(value)}); break;
        case Kind::noteOn: out.insert(out.end(), {uint8_t(0x90 | ch), low7(parameter), data7(value)}); break;
        case Kind::keyPressure: out.insert(out.end(), {uint8_t(0xA0 | ch), low7(parameter), data7(value)}); break;
        case Kind::controller: controller(out, ch, low7(parameter), data7(value)); break;
        case Kind::programChange: out.insert(out.end(), {uint8_t(0xC0 | ch), data7(value)}); break;
        case Kind::channelPressure: out.insert(out.end(), {uint8_t(0xD0 | ch), data7(value)}); break;
        case Kind::pitchBend: {
            const auto bend = static_cast<uint32_t>(std::clamp<int32_t>(value, -8192, 8191) + 8192);
            out.insert(out.end(), {uint8_t(0xE0 | ch), low7(bend), high7(bend)});
            break;
        }
        case Kind::control14:
            // The sequencer joins a controller's MSB (0-31) and LSB (32-63) into one event.
            if (parameter < 32) {
                controller(out, ch, low7(parameter), high7(value14));
                controller(out, ch, low7(parameter + 32), low7(value14));
            } else {
                controller(out, ch, low7(parameter), data7(value));
            }
            break;
        case Kind::nonRegisteredParameter:
        case Kind::registeredParameter: {
            const bool registered = kind == Kind::registeredParameter;
            const auto number = std::min<uint32_t>(parameter, 0x3FFF);
            controller(out, ch, registered ? 101 : 99, high7(number));
            controller(out, ch, registered ? 100 : 98, low7(number));
            controller(out, ch, 6, high7(value14));
            controller(out, ch, 38, low7(value14));
            break;
        }
        case Kind::songPosition: out.insert(out.end(), {uint8_t(0xF2), low7(value14), high7(value14)}); break;
        case Kind::songSelect: out.insert(out.end(), {uint8_t(0xF3), data7(value)}); break;
        case Kind::quarterFrame: out.insert(out.end(), {uint8_t(0xF1), data7(value)}); break;
        case Kind::tuneRequest: out.push_back(0xF6); break;
        case Kind::clock: out.push_back(0xF8); break;
        case Kind::tick: out.push_back(0xF9); break;
        case Kind::start: out.push_back(0xFA); break;
        case Kind::continueSong: out.push_back(0xFB); break;
        case Kind::stop: out.push_back(0xFC); break;
        case Kind::activeSensing: out.push_back(0xFE); break;
        case Kind::reset: out.push_back(0xFF); break;
        case Kind::sysEx: out.insert(out.end(), data.begin(), data.end()); break;
        case Kind::endpointsChanged:
        case Kind::inputOverrun:
        case Kind::other: break;
    }
}

}  // namespace k7
