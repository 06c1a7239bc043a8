#pragma once

#include <string>

namespace k7 {

// What made a message go out again: the device's NAK, no answer in time, or (receiving) a packet
// that failed its checks.
enum class SDSRetryCause { negativeAcknowledgement, timeout, invalidPacket };

inline std::string caseName(SDSRetryCause cause) {
    switch (cause) {
        case SDSRetryCause::negativeAcknowledgement:
            return "negativeAcknowledgement";
        case SDSRetryCause::timeout:
            return "timeout";
        case SDSRetryCause::invalidPacket:
            return "invalidPacket";
    }
    return "";
}

}  // namespace k7
