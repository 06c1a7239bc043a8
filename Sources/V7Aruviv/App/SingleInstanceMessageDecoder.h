#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "V7Aruviv/App/SingleInstanceMessage.h"

namespace k7 {

// Reads one SingleInstanceMessage as its bytes arrive, looking at each byte once: a connection
// that sends a large message in many pieces costs no more than one that sends it whole.
class SingleInstanceMessageDecoder {
public:
    using Status = SingleInstanceMessage::Status;

    // Takes the connection's next bytes and says where the message stands, as
    // SingleInstanceMessage::decode would of everything received so far.
    Status feed(ByteView bytes);

    Status status() const { return status_; }
    // The paths read so far; the whole delivery once complete.
    const std::vector<std::filesystem::path>& paths() const { return paths_; }

    // The bytes every decoder of this process has looked at: what reading connections has cost.
    static std::size_t bytesReadInThisProcess();

private:
    enum class Field { header, count, length, path };

    Status take(uint8_t byte);
    Status fieldComplete();

    Field field_ = Field::header;
    Status status_ = Status::incomplete;
    std::size_t received_ = 0;
    std::size_t fieldSize_ = 0;  // bytes of the current header, count or length field so far
    uint32_t value_ = 0;         // the count or length being read
    uint32_t pathsLeft_ = 0;
    uint32_t pathLength_ = 0;
    std::string path_;
    std::vector<std::filesystem::path> paths_;
};

}  // namespace k7
